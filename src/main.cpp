// kavsite: builds a static website from a folder of KAV documents.
#include "base/arena.h"
#include "base/entry.h"
#include "base/os.h"
#include "base/string.h"
#include "driver/build.h"

int main(int argc, char** argv) {
    // The main thread's context lives in this frame for the whole process.
    ThreadContext ctx = thread_context_create();
    ctx.is_main_thread = 1;
    thread_context_set(&ctx);
    os_set_thread_name("[Main Thread]");

    Arena* arena = ctx.scratch[0];
    StringList arguments = {};
    for (int i = 1; i < argc; i += 1) string_list_push(arena, &arguments, string_from_cstr(argv[i]));
    OptionTable options = options_parse(arena, arguments);

    int status = build_main(&options);

    console_flush();
    thread_context_release(&ctx);
    return status;
}
