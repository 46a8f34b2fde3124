# Writes the qmf(1) manual page from the command's own --help texts, so the
# two cannot disagree, and gzips it as Debian installs manual pages.
#   cmake -DQMF=path/to/qmf -DVERSION=x.y.z -DOUT=qmf.1.gz -P ManPage.cmake
if(NOT QMF OR NOT OUT)
  message(FATAL_ERROR "ManPage.cmake needs -DQMF=... and -DOUT=...")
endif()

# Text for roff: backslashes doubled, a line that would start a request
# (a leading dot or quote) escaped.
function(roff text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND "${QMF}" --help OUTPUT_VARIABLE usage RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${QMF} --help failed")
endif()
# The commands are the usage's indented lines under "Commands:" that start a word.
string(REGEX MATCHALL "\n  [a-z]+ " lines "${usage}")
set(commands "")
foreach(l IN LISTS lines)
  string(STRIP "${l}" c)
  list(APPEND commands "${c}")
endforeach()
list(REMOVE_DUPLICATES commands)

roff("${usage}" usageText)
set(page ".TH QMF 1 \"\" \"qmf ${VERSION}\" \"User Commands\"
.SH NAME
qmf \\- Movantis animation files and Maya ASCII scenes without Maya
.SH SYNOPSIS
.B qmf
\\fIcommand\\fR [\\fIoptions\\fR]
.SH DESCRIPTION
.nf
${usageText}.fi
.SH COMMANDS
")
foreach(c IN LISTS commands)
  execute_process(COMMAND "${QMF}" ${c} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${QMF} ${c} --help failed")
  endif()
  roff("${help}" helpText)
  string(APPEND page ".SS ${c}\n.nf\n${helpText}.fi\n")
endforeach()
string(APPEND page ".SH SEE ALSO
The documents in /usr/share/doc/qmf/docs (cli.md for every option).
")
get_filename_component(dir "${OUT}" DIRECTORY)
set(plain "${dir}/qmf.1")
file(WRITE "${plain}" "${page}")
file(REMOVE "${OUT}")
file(ARCHIVE_CREATE OUTPUT "${OUT}" PATHS "${plain}" FORMAT raw COMPRESSION GZip)
