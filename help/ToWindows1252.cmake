# Copies the help sources from FROM to TO, the pages and the contents converted from UTF-8 to
# Windows-1252. Fails on a character that Windows-1252 does not have.
file(GLOB sources RELATIVE ${FROM} ${FROM}/*.html ${FROM}/*.hhc ${FROM}/*.hhk ${FROM}/*.hhp)
foreach(name IN LISTS sources)
  execute_process(COMMAND ${ICONV} -f UTF-8 -t WINDOWS-1252 ${FROM}/${name}
                  OUTPUT_FILE ${TO}/${name} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "help/${name} holds a character that Windows-1252 does not have")
  endif()
endforeach()
