# Warning flags for the project's own targets; third-party headers come in as system includes.
add_library(tracewin_warnings INTERFACE)
target_compile_options(tracewin_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(TRACEWIN_WERROR)
    target_compile_options(tracewin_warnings INTERFACE -Werror)
endif()
