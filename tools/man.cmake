# Writes the man page scrivlet(1) from the built tool's own help texts, so that the page says
# exactly what `scrivlet --help` and `scrivlet <command> --help` say.
#   cmake -DTOOL=<scrivlet> -DOUT=<scrivlet.1> -DVERSION=<version> -P man.cmake
function(help_of out)
  execute_process(COMMAND ${TOOL} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${ARGN} --help failed: ${status}")
  endif()
  # Escape for roff: backslashes, and lines that start with a control character.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

help_of(top)
# The top help ends with the exit statuses and the examples: each becomes a section of its own.
string(FIND "${top}" "Exit status:\n" at_status)
string(FIND "${top}" "Examples:\n" at_examples)
if(at_status LESS 0 OR at_examples LESS at_status)
  message(FATAL_ERROR "${TOOL} --help has no 'Exit status:' followed by 'Examples:'")
endif()
math(EXPR status_start "${at_status} + 13")
math(EXPR status_length "${at_examples} - ${status_start}")
math(EXPR examples_start "${at_examples} + 10")
string(SUBSTRING "${top}" ${status_start} ${status_length} exit_status)
string(SUBSTRING "${top}" ${examples_start} -1 examples)
string(SUBSTRING "${top}" 0 ${at_status} top)
set(page ".TH SCRIVLET 1 \"\" \"scrivlet ${VERSION}\" \"User Commands\"
.SH NAME
scrivlet \\- write, read and check rings of log files
.SH SYNOPSIS
.B scrivlet
.I command
[\\fIoptions\\fR]
.br
.B scrivlet
.RB [ --help | --version ]
.SH DESCRIPTION
.nf
${top}.fi
.SH COMMANDS
")
foreach(command write cat verify check)
  help_of(text ${command})
  string(APPEND page ".SS scrivlet ${command}\n.nf\n${text}.fi\n")
endforeach()
string(APPEND page ".SH EXIT STATUS
.nf
${exit_status}.fi
.SH EXAMPLES
.nf
${examples}.fi
.SH SEE ALSO
The manual of Scrivlet: the docs folder of its sources, and the README.
")
file(WRITE ${OUT} "${page}")
