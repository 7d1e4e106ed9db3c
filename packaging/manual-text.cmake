# A manual page as plain text with Windows line ends: cmake -DGROFF=... -DPAGE=... -DOUT=... -P
execute_process(
  COMMAND ${GROFF} -man -Tascii -P-c -P-b -P-o -P-u -rHY=0 ${PAGE}
  OUTPUT_VARIABLE text
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "groff could not format ${PAGE}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
