# cmake -DBIN=<program directory> -DOUT=<folder> -DCODE=EN -P ManualScreenshots.cmake
#
# Renders the desktop program's screenshots for the manual of one language
# into OUT/<code in lower case>, as scripts/screenshot.sh does, from a
# program directory of its own (links to the built files, copies of the
# files the program writes), so that the build's program directory is never
# touched. Offscreen: a build machine has no display.
foreach(var BIN OUT CODE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManualScreenshots.cmake needs -D${var}=...")
  endif()
endforeach()
string(TOLOWER "${CODE}" lower)
set(home "${OUT}/home-${lower}")
file(REMOVE_RECURSE "${home}" "${OUT}/${lower}")
file(MAKE_DIRECTORY "${home}")
file(GLOB shipped RELATIVE "${BIN}" "${BIN}/*")
foreach(name IN LISTS shipped)
  if(name MATCHES "^(config|PelmarGeneral\\.ini|Pelmar..\\.pdf.*|Transformation\\.db.*|.*\\.lock)$")
    continue()
  elseif(name MATCHES "^(Ellip\\.db|HeaderInfo\\.dat)$")
    file(COPY "${BIN}/${name}" DESTINATION "${home}")
  else()
    file(CREATE_LINK "${BIN}/${name}" "${home}/${name}" SYMBOLIC)
  endif()
endforeach()
file(READ "${BIN}/PelmarGeneral.ini" configuration)
string(REGEX REPLACE "CurrentLanguage=[^\r\n]*" "CurrentLanguage=${CODE}" configuration "${configuration}")
file(WRITE "${home}/PelmarGeneral.ini" "${configuration}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen PELMAR_BATCH_DIALOGS=1 "PELMAR_HOME=${home}"
          "${BIN}/pelmar" --screenshots "${OUT}/${lower}"
  RESULT_VARIABLE result
  OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pelmar --screenshots failed (${result}): ${errors}")
endif()
file(REMOVE_RECURSE "${home}")
