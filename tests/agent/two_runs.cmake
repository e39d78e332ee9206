# A restart across agent processes: two runs of dvp-agent on one chip file,
# the first leaving entries on the chip (one of them half deleted), the
# second replaying a changed configuration against what it reads back.
#   AGENT  the program     DIR  the scenario files     WORK  a scratch directory
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(chip ${WORK}/chip)

function(agent_run output)
  execute_process(COMMAND ${AGENT} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc STREQUAL "0")
    message(FATAL_ERROR "dvp-agent ${ARGN} ended with ${rc}\n${out}${err}")
  endif()
  set(${output} "${out}" PARENT_SCOPE)
endfunction()

agent_run(first --adaptor-log --fastlog ${WORK}/first.fastlog run --chip ${chip} ${DIR}/first.dvp)

# A dump only looks: it shows what an agent would find (the half-deleted
# entry 13 gone, its index user dropped) and leaves the file's bytes and
# modification time alone.
file(SHA256 ${chip} hash_before)
execute_process(COMMAND stat -c %y ${chip} OUTPUT_VARIABLE time_before)
agent_run(look chip dump --chip ${chip})
file(SHA256 ${chip} hash_after)
execute_process(COMMAND stat -c %y ${chip} OUTPUT_VARIABLE time_after)
if(NOT hash_before STREQUAL hash_after OR NOT time_before STREQUAL time_after)
  message(FATAL_ERROR "chip dump changed the chip file")
endif()
if(look MATCHES "hw 13 |tracker 13 " OR NOT look MATCHES "hw 10 ")
  message(FATAL_ERROR "chip dump of the first run's chip:\n${look}")
endif()

agent_run(second --adaptor-log --chip ${chip} run ${DIR}/second.dvp)

# The second process read back what the first left: the half-deleted entry
# 13 is gone (the chip finishes the delete when it is opened again), and
# only what changed was written.
foreach(wanted "^adaptor sync entries=3\n" "adaptor compare key=11 match\n" "adaptor write key=12 nexthop=71 group=9\n"
    "adaptor delete key=10\n")
  if(NOT second MATCHES "${wanted}")
    message(FATAL_ERROR "the second run did not print ${wanted}:\n${second}")
  endif()
endforeach()
if(second MATCHES "adaptor write key=11 |adaptor (write|delete) key=13")
  message(FATAL_ERROR "the second run touched an entry it should not have:\n${second}")
endif()

# The chip as the second run left it.
agent_run(dump chip dump --chip ${chip})
set(expected_dump "chip ${chip} entries=65536\nhw 11 nexthop=70 group=2\nhw 12 nexthop=71 group=9\nhw 14 nexthop=70 group=5\ntracker 11 users=1\ntracker 12 users=1\ntracker 14 users=1\n")
if(NOT dump STREQUAL expected_dump)
  message(FATAL_ERROR "chip dump:\n${dump}expected:\n${expected_dump}")
endif()

# One process with a restart in the middle prints exactly what the two did.
agent_run(both --adaptor-log --chip ${WORK}/chip2 run ${DIR}/first.dvp ${DIR}/restart.dvp ${DIR}/second.dvp)
if(NOT both STREQUAL "${first}${second}")
  message(FATAL_ERROR "an in-process restart printed\n${both}\ntwo processes printed\n${first}${second}")
endif()

# The binary trace of the first run decodes.
agent_run(decoded fastlog ${WORK}/first.fastlog)
if(NOT decoded MATCHES "LocalDvpTable: doResolve\n")
  message(FATAL_ERROR "the binary trace did not decode to the table's steps:\n${decoded}")
endif()
file(REMOVE_RECURSE ${WORK})
