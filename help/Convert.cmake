# Copies the help project into STAGE. The pages stay UTF-8 (they say so in their
# heads); the table of contents is read in the project's language code page, so
# it is re-encoded to Windows-1251.
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
foreach(file ${FILES})
  file(COPY ${SOURCE}/${file} DESTINATION ${STAGE})
endforeach()
file(READ ${SOURCE}/toc.hhc text)
string(REPLACE "charset=utf-8" "charset=windows-1251" text "${text}")
file(WRITE ${STAGE}/toc.utf8 "${text}")
execute_process(COMMAND ${ICONV} -f UTF-8 -t CP1251 ${STAGE}/toc.utf8
  OUTPUT_FILE ${STAGE}/toc.hhc RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot convert the table of contents to Windows-1251")
endif()
file(REMOVE ${STAGE}/toc.utf8)
