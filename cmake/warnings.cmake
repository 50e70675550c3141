# Warning flags for our own targets; third-party code (googletest) is built without them.
set(VANTREL_WARNINGS
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wcast-align -Wnon-virtual-dtor -Woverloaded-virtual
  -Wformat=2 -Wimplicit-fallthrough -Wmissing-declarations)
if(VANTREL_WERROR)
  list(APPEND VANTREL_WARNINGS -Werror)
endif()

function(vantrel_warnings target)
  target_compile_options(${target} PRIVATE ${VANTREL_WARNINGS})
endfunction()
