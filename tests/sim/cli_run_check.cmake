# velmora-cli run end to end: the JSON and its key order, the stop rules and
# their exit statuses, the trace, the assembler's sample, the demo, and (when
# the corpus is there) a program built by TI's C compiler.
# Variables: CLI (velmora-cli), SRC (source tree), CORPUS, DIR (scratch folder).
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})

function(run_cli expected_status)
  execute_process(COMMAND ${CLI} run ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
  if(NOT rc EQUAL expected_status)
    message(FATAL_ERROR "run ${ARGN}: exit ${rc}, expected ${expected_status}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect_json json value)
  string(JSON got GET "${json}" ${ARGN})
  if(NOT got STREQUAL value)
    message(FATAL_ERROR "${ARGN}: '${got}', expected '${value}' in\n${json}")
  endif()
endfunction()

execute_process(COMMAND ${CLI} asm ${SRC}/tests/c3x/data/counter_loop.asm -o ${DIR}/loop.out
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "asm failed")
endif()

# Until a label: three instructions; R5 as set; the dump keyed by its address.
run_cli(0 ${DIR}/loop.out --dsp=c31 --until=loop --dump=counter:1 --set=R5=0x0140000000
  --set=ar2=-2 --json)
expect_json("${out}" until stop)
expect_json("${out}" 8427523 pc)
expect_json("${out}" 3 steps)
expect_json("${out}" 0x0140000000 registers R5)
expect_json("${out}" 0xFFFFFFFE registers AR2)
expect_json("${out}" 0x00000080 registers DP)
expect_json("${out}" 0x00000000 memory 0x80980C 0)
# Keys in the documented order (CMake's JSON reader sorts them, so the text).
set(pattern "^{\"stop\":\"until\",\"pc\":[0-9]+,\"steps\":[0-9]+,\"registers\":{")
foreach(r R0 R1 R2 R3 R4 R5 R6 R7)
  string(APPEND pattern "\"${r}\":\"0x[0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F]\",")
endforeach()
foreach(r AR0 AR1 AR2 AR3 AR4 AR5 AR6 AR7 DP IR0 IR1 BK SP ST IE IF IOF RS RE RC)
  string(APPEND pattern "\"${r}\":\"0x[0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F]\",")
endforeach()
string(REGEX REPLACE ",$" "" pattern "${pattern}")
string(APPEND pattern "},\"memory\":{\"0x80980C\":\\[\"0x00000000\"\\]}}")
if(NOT out MATCHES "${pattern}")
  message(FATAL_ERROR "JSON layout:\n${out}")
endif()
if(NOT err MATCHES "section vectors at 0x000000 lies in the boot ROM")
  message(FATAL_ERROR "no warning for the reset vector: ${err}")
endif()

# The loop runs on: the step budget stops it, never beyond it; the trace has
# one line per instruction.
run_cli(4 ${DIR}/loop.out --dsp=c31 --max-steps=100 --trace=${DIR}/trace.txt --json)
expect_json("${out}" max-steps stop)
string(JSON steps GET "${out}" steps)
file(STRINGS ${DIR}/trace.txt lines)
list(LENGTH lines count)
if(steps GREATER 100 OR NOT count EQUAL steps)
  message(FATAL_ERROR "${steps} steps, ${count} trace lines")
endif()
list(GET lines 0 first)
if(NOT first MATCHES "^809800  50700080  LDP +@0x800000 +DP=0x00000080$")
  message(FATAL_ERROR "trace line: '${first}'")
endif()

# A reserved word halts the core; the demo idles waiting for its timer.
file(WRITE ${DIR}/halt.asm "        .text 0x809800\n        NOP\n        .word 0x1F800000\n")
execute_process(COMMAND ${CLI} asm ${DIR}/halt.asm -o ${DIR}/halt.out)
run_cli(5 ${DIR}/halt.out --dsp=c33)
if(NOT out MATCHES "Stopped: halt at PC 0x809801 after 1 steps" OR NOT err MATCHES "0x1F800000")
  message(FATAL_ERROR "halt: ${out}${err}")
endif()
run_cli(0 ${SRC}/examples/demo/demo.out --dsp=c32 --json)
expect_json("${out}" idle stop)

# Bad input: a missing symbol, a value too wide, a malformed dump, no file.
run_cli(1 ${DIR}/loop.out --dsp=c31 --until=nowhere)
run_cli(1 ${DIR}/loop.out --dsp=c31 --set=R0=0x10000000000)
run_cli(2 ${DIR}/loop.out --dsp=c31 --dump=counter)
run_cli(3 ${DIR}/missing.out --dsp=c31)

# Real compiler output, from c_int00 to exit.
if(EXISTS ${CORPUS}/ti-built/expected.json)
  file(READ ${CORPUS}/ti-built/expected.json expected)
  string(JSON symbol GET "${expected}" matmul symbol)
  string(JSON n LENGTH "${expected}" matmul words)
  run_cli(0 ${CORPUS}/ti-built/matmul.out --dsp=c31 --entry=c_int00 --until=exit
    --dump=${symbol}:${n} --json)
  string(JSON at MEMBER "${out}" memory 0)
  math(EXPR last "${n} - 1")
  foreach(i RANGE ${last})
    string(JSON want GET "${expected}" matmul words ${i})
    expect_json("${out}" ${want} memory ${at} ${i})
  endforeach()
endif()
