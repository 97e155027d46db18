# velmora-cli console and watch against the virtual board running the
# monitoring tests' responder program.
# -DCLI=<velmora-cli> -DSRC=<source dir> -DDIR=<scratch dir>
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
set(ENV{VELMORA_POD} "")
set(common --pod=sim --sim-dir=${DIR}/board --dsp=c31 --settings=${DIR}/settings.ini)

function(expect_match text regex what)
  if(NOT text MATCHES "${regex}")
    message(FATAL_ERROR "${what}: output does not match '${regex}':\n${text}")
  endif()
endfunction()

execute_process(COMMAND ${CLI} asm ${SRC}/tests/shell/monitor_responder.asm -o ${DIR}/resp.out
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "asm failed: ${err}")
endif()

# --- console: the same lines as the console page, no colour codes in a pipe --
file(WRITE ${DIR}/commands.txt
  "d counter/d\nd flags=0x1234ABCD\nd flags\nd gain/f\nwa 0x809C02\nwa 0x809C02\n"
  "d table[3]/d\nd nosuch\nh\n")
execute_process(COMMAND ${CLI} ${common} console --serial-boot ${DIR}/resp.out
    --save-sym ${DIR}/watch.sym
  INPUT_FILE ${DIR}/commands.txt RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "console: exit code ${rc}, expected 1 (one error line); ${out}${err}")
endif()
expect_match("${out}" "^\\[ RESULT \\] : counter, [0-9]+\n" "console read")
expect_match("${out}" "\n\\[ RESULT \\] : Writing Completed\\.\\.\\.\n\\[ RESULT \\] : flags, 0x1234ABCD\n"
  "console write and read-back")
expect_match("${out}" "\n\\[ RESULT \\] : gain, 1\\.5\n" "console float")
expect_match("${out}" "\n\\[ NOTICE \\] : This address is already registered\n" "console notice")
expect_match("${out}" "\n\\[ RESULT \\] : table\\[3\\], 40\n" "console array element")
expect_match("${out}" "\n\\[ ERROR \\] : Wrong Variable Input\n" "console error")
expect_match("${out}" "\n--- Monitoring Command Format Help ---\n" "console help")
if(out MATCHES "\x1b")
  message(FATAL_ERROR "console: colour codes in a pipe:\n${out}")
endif()
if(NOT EXISTS ${DIR}/watch.sym)
  message(FATAL_ERROR "console: --save-sym wrote nothing")
endif()

# --- watch: rounds printed and appended to a CSV log -------------------------
execute_process(COMMAND ${CLI} ${common} watch counter gain 0x809C02/d --serial-boot ${DIR}/resp.out
    --period 50 --count 3 --csv ${DIR}/log.csv
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "watch: exit code ${rc}; ${out}${err}")
endif()
expect_match("${out}" "^[0-9-]+ [0-9:.]+  counter=[0-9]+  gain=1\\.5  0x809C02=10\n" "watch line")
file(STRINGS ${DIR}/log.csv rows)
list(LENGTH rows n)
if(NOT n EQUAL 4)
  message(FATAL_ERROR "watch: ${n} CSV lines, expected a header and 3 rows:\n${rows}")
endif()
list(GET rows 0 header)
expect_match("${header}" "^Time,counter,gain,0x809C02\r?$" "watch CSV header")
list(GET rows 1 first)
list(GET rows 3 last)
string(REGEX REPLACE "^[^,]+,([0-9]+),.*" "\\1" c1 "${first}")
string(REGEX REPLACE "^[^,]+,([0-9]+),.*" "\\1" c3 "${last}")
if(NOT c3 GREATER c1)
  message(FATAL_ERROR "watch: the counter did not move (${c1}, ${c3})")
endif()

# A log with other columns is refused before the pod is touched.
execute_process(COMMAND ${CLI} ${common} watch counter --coff ${DIR}/resp.out --count 1
    --csv ${DIR}/log.csv
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 3)
  message(FATAL_ERROR "watch: exit code ${rc} for a log with other columns; ${out}${err}")
endif()
