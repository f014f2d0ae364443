# Warnings and sanitizers for the project's own targets only.
function(pelmar_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(PELMAR_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# The sanitizer runtime must be linked into every executable that links an
# instrumented library, even when the executable's own sources are not.
function(pelmar_link_sanitizers target)
  if(PELMAR_SANITIZE)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
