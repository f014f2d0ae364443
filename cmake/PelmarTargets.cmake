# Warnings and sanitizers for the project's own targets only.
function(pelmar_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # Optimised builds carry Debian's hardening: checked string and memory
  # calls, a stack protector, and relocations bound at start and read-only.
  # (Not under the sanitizers, which check more and clash with the first.)
  if(NOT PELMAR_SANITIZE AND NOT PELMAR_FUZZ)
    set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
    target_compile_definitions(${target} PRIVATE "$<${optimised}:_FORTIFY_SOURCE=2>")
    target_compile_options(${target} PRIVATE "$<${optimised}:-fstack-protector-strong>")
    target_link_options(${target} PRIVATE "$<${optimised}:LINKER:-z,relro,-z,now>")
  endif()
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
