# cmake -DCLI=<talvinor-cli> -DOUT=<file> -P TalvinorCliManInclude.cmake
# Writes a help2man include file with every subcommand's own --help, so the
# manual page describes them all, from the program's real texts.
set(ENV{LC_ALL} C.UTF-8)
set(text "[SUBCOMMANDS]\n")
foreach(sub version "settings show" "settings check" convert info devices send listen record play)
  separate_arguments(words UNIX_COMMAND "${sub}")
  execute_process(COMMAND ${CLI} ${words} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CLI} ${sub} --help failed (${status})")
  endif()
  # roff: a leading '.' or '\'' would be read as a request; '\' as an escape.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND text ".SS talvinor-cli ${sub}\n.nf\n${help}.fi\n")
endforeach()
string(APPEND text "[SEE ALSO]\n.BR talvinor (1)\n")
file(WRITE ${OUT} "${text}")
