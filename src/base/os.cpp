// Operating-system helpers written once on top of the platform layer.
#include "base/os.h"

String os_read_whole_file(Arena* arena, String path) {
    OsFile file = os_open_file(OS_FILE_READ | OS_FILE_SHARE_READ, path);
    if (file == OS_FILE_INVALID) return String{};
    OsFileProperties props = os_file_properties(file);
    String result = os_read_range(arena, file, Range64{0, props.size});
    os_close_file(file);
    return result;
}
