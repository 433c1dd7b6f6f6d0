# Checks that a command's manual page keeps in step with the command: every
# long option its --help lists has an entry in the page, and --version prints
# the project's version.
#
#   cmake -DCOMMAND=path/to/hvp-run -DPAGE=doc/man/hvp-run.1.scd -DVERSION=1.0.0 -P check_manual_page.cmake

execute_process(COMMAND ${COMMAND} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${COMMAND} --help: exit status ${status}")
endif()
file(READ ${PAGE} page)

# The option names on the lines of the option list: "  -o,--output FILE  ...".
string(REGEX MATCHALL "\n *(-[A-Za-z], *)?--[a-z][-a-z]*" listed "${help}")
set(missing)
foreach(entry IN LISTS listed)
  string(REGEX MATCH "--[a-z][-a-z]*" option "${entry}")
  # In scdoc, an option's entry starts a line with its names in bold:
  # "*--option* ARG" or "*-o*, *--option* ARG".
  if(NOT page MATCHES "\n(\\*-[A-Za-z]\\*, )?\\*${option}\\*")
    list(APPEND missing ${option})
  endif()
endforeach()
if(NOT listed)
  message(FATAL_ERROR "${COMMAND} --help lists no option:\n${help}")
endif()
if(missing)
  message(FATAL_ERROR "${PAGE}: does not document ${missing}, which ${COMMAND} --help lists")
endif()

execute_process(COMMAND ${COMMAND} --version OUTPUT_VARIABLE version_text RESULT_VARIABLE status)
string(FIND "${version_text}" " ${VERSION}" where)
if(NOT status EQUAL 0 OR where EQUAL -1)
  message(FATAL_ERROR "${COMMAND} --version printed \"${version_text}\" (status ${status}), "
                      "not the project's version ${VERSION}")
endif()
