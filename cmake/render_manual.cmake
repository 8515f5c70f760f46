# Renders the manual page as plain UTF-8 text, for systems without man:
#   cmake -DGROFF=<groff> -DPRECONV=<preconv> -DPAGE=<page> -DTEXT=<text> -P render_manual.cmake
execute_process(COMMAND "${PRECONV}" "${PAGE}"
                COMMAND "${GROFF}" -man -Tutf8 -P-cbou -rLL=78n
                OUTPUT_FILE "${TEXT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "rendering ${PAGE} failed: ${status}")
endif()
