# The default theme carried in the kavsite binary: fonts built from Debian's
# font packages (scripts/make_fonts.py) and the theme's style sheets, turned
# into byte arrays (scripts/embed_files.py) that the site library compiles.
# Debian's python has the font tools; the first python3 on PATH may not.
set(KAVSITE_SYSTEM_PYTHON /usr/bin/python3 CACHE FILEPATH "Python with python3-fonttools and python3-brotli")

set(theme_fonts_dir ${CMAKE_BINARY_DIR}/theme/fonts)
set(theme_font_names
  iconfont.woff2 iconfont-LICENSE.txt
  figtree.woff2 figtree-italic.woff2 figtree-semibold.woff2 figtree-bold.woff2 figtree-LICENSE.txt
  fira-code.woff2 fira-code-LICENSE.txt)
list(TRANSFORM theme_font_names PREPEND ${theme_fonts_dir}/ OUTPUT_VARIABLE theme_font_files)

add_custom_command(
  OUTPUT ${theme_font_files}
  COMMAND ${KAVSITE_SYSTEM_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/make_fonts.py
          --icons ${CMAKE_SOURCE_DIR}/src/site/icons.h --out ${theme_fonts_dir}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make_fonts.py ${CMAKE_SOURCE_DIR}/src/site/icons.h
  COMMENT "Building the theme fonts"
  VERBATIM)

# Site path = file, in the order of the generated table.
set(theme_embedded
  html/shared/css/fonts.css=${CMAKE_SOURCE_DIR}/src/site/theme/fonts.css
  shared/css/kav/css_kav.css=${CMAKE_SOURCE_DIR}/src/site/theme/css_kav.css)
set(theme_inputs ${CMAKE_SOURCE_DIR}/src/site/theme/fonts.css ${CMAKE_SOURCE_DIR}/src/site/theme/css_kav.css)
foreach(name ${theme_font_names})
  list(APPEND theme_embedded html/shared/fonts/${name}=${theme_fonts_dir}/${name})
  list(APPEND theme_inputs ${theme_fonts_dir}/${name})
endforeach()

set(theme_data_cpp ${CMAKE_BINARY_DIR}/theme/theme_files_data.cpp)
add_custom_command(
  OUTPUT ${theme_data_cpp}
  COMMAND ${KAVSITE_SYSTEM_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/embed_files.py ${theme_data_cpp} ${theme_embedded}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/embed_files.py ${theme_inputs}
  COMMENT "Embedding the theme files"
  VERBATIM)
target_sources(kavsite_site PRIVATE ${theme_data_cpp})
