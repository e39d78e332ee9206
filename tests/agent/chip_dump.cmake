# `dvp-agent chip dump` only looks: on a chip an agent left with a delete in
# flight, it shows what the next agent would find (the delete finished, the
# index user gone) and changes neither the file's bytes nor its time.
#   AGENT  the program     WORK  a scratch directory
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(chip ${WORK}/chip)
file(WRITE ${WORK}/leave.dvp "nexthop A index=70 state=success\ninit-complete\ncommit 10 nh=A group=1\n"
  "commit 13 nh=A group=2\nconfirm all\nremove 13\nexpect hw 13 empty\n")
execute_process(COMMAND ${AGENT} --chip ${chip} run ${WORK}/leave.dvp RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc STREQUAL "0")
  message(FATAL_ERROR "the scenario ended with ${rc}: ${err}")
endif()
file(SHA256 ${chip} hash_before)
execute_process(COMMAND stat -c %y ${chip} OUTPUT_VARIABLE time_before)
execute_process(COMMAND ${AGENT} chip dump --chip ${chip} RESULT_VARIABLE rc OUTPUT_VARIABLE dump)
file(SHA256 ${chip} hash_after)
execute_process(COMMAND stat -c %y ${chip} OUTPUT_VARIABLE time_after)
if(NOT hash_before STREQUAL hash_after OR NOT time_before STREQUAL time_after)
  message(FATAL_ERROR "chip dump changed the chip file")
endif()
set(expected "chip ${chip} entries=65536\nhw 10 nexthop=70 group=1\ntracker 10 users=1\n")
if(NOT rc STREQUAL "0" OR NOT dump STREQUAL expected)
  message(FATAL_ERROR "chip dump ended with ${rc}:\n${dump}expected:\n${expected}")
endif()
file(REMOVE_RECURSE ${WORK})
