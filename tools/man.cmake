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
0: done; 1: the library refused or failed, a file could not be read, or verify found a problem;
2: the command line is wrong. After SIGINT or SIGTERM, write exits with 128 and the signal's
number once every line read is on the storage and the ring is closed.
.SH EXAMPLES
.nf
some-service | scrivlet write --folder /var/log/some-service --stamp --counter
scrivlet verify --folder /var/log/some-service --counter
scrivlet cat --folder /var/log/some-service --since -10m
scrivlet cat --folder /var/log/some-service --follow --json | some-log-shipper
.fi
.SH SEE ALSO
The README of Scrivlet, installed with the package's documentation where the package has it.
")
file(WRITE ${OUT} "${page}")
