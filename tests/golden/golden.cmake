# Runs one example scenario and compares what it prints with its golden file,
# line by line: the table's trace (levels 5 to 9 of the table's handle, level
# 0 of "SwTableStat"), the adaptor calls and confirmations, and the scenario's
# own show and echo lines. Each command of the scenario is printed before its
# output as ">> COMMAND", so a changed wording shows up under the command
# that caused it.
#
#   AGENT     dvp-agent          SCENARIO  the scenario file
#   GOLDEN    the golden file    WORK      a scratch directory
#   FASTLOG   optional: a second golden file, of the decoded binary log
#
# Run-dependent values are normalised (addresses become 0x?). The output of a
# command that walks a collection in its unspecified order (remove-all, the
# stale purge, a restart's teardown, init completion, the bulk calls) is
# compared as a set: its lines are sorted, in the golden file and in the
# output alike. So is the teardown when the agent exits, from the table's
# cleanup line on.
#
# A scenario's lines "# golden-option: OPTION" add dvp-agent options and
# "# golden-env: VAR=VALUE" set the environment of the run.
#
# With the environment variable VELAR_UPDATE_GOLDENS=1 the golden files are
# written instead of compared (see tests/golden/README.md).
get_filename_component(name ${SCENARIO} NAME_WE)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# The scenario with every command announced.
file(STRINGS ${SCENARIO} lines)
set(options)
set(env)
set(script "")
foreach(line IN LISTS lines)
  if(line MATCHES "^# golden-option: (.*)$")
    list(APPEND options ${CMAKE_MATCH_1})
  elseif(line MATCHES "^# golden-env: (.*)$")
    list(APPEND env ${CMAKE_MATCH_1})
  endif()
  string(STRIP "${line}" stripped)
  if(NOT stripped STREQUAL "" AND NOT stripped MATCHES "^#")
    string(APPEND script "echo >> ${stripped}\n")
  endif()
  string(APPEND script "${line}\n")
endforeach()
file(WRITE ${WORK}/${name}.dvp "${script}")

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env TRACE= ${env} ${AGENT} --adaptor-log
    --trace "VelarL3Vfi::LocalDvpTable/5-9,SwTableStat/0" --fastlog ${WORK}/fastlog ${options}
    run ${WORK}/${name}.dvp
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc STREQUAL "0")
  message(FATAL_ERROR "dvp-agent ran ${SCENARIO} with exit status ${rc}:\n${out}${err}")
endif()

# Normalises the text and sorts the output of order-free commands.
function(normalise text result)
  string(REGEX REPLACE "0x[0-9a-fA-F]+" "0x?" text "${text}")
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(out "")
  set(block)
  set(sorting FALSE)
  foreach(line IN LISTS lines ITEMS ">> end")
    if(line MATCHES "^>> ")
      if(sorting)
        list(SORT block)
      elseif(line STREQUAL ">> end")
        list(FIND block "VelarL3Vfi::LocalDvpTable : cleanup" teardown)
        if(teardown GREATER_EQUAL 0)
          list(SUBLIST block ${teardown} -1 tail)
          list(SUBLIST block 0 ${teardown} block)
          list(SORT tail)
          list(APPEND block ${tail})
        endif()
      endif()
      foreach(b IN LISTS block)
        string(APPEND out "${b}\n")
      endforeach()
      set(block)
      set(sorting FALSE)
      if(line MATCHES "^>> (remove-all|purge|restart|teardown|init-complete|call (entryRemoveAll|entryHandleRemoveAll|purgeStaleEntries|cleanup))")
        set(sorting TRUE)
      endif()
      if(NOT line STREQUAL ">> end")
        string(APPEND out "${line}\n")
      endif()
    elseif(NOT line STREQUAL "")
      list(APPEND block "${line}")
    endif()
  endforeach()
  string(REPLACE "<semicolon>" ";" out "${out}")
  set(${result} "${out}" PARENT_SCOPE)
endfunction()

# With SORTED, the golden file is normalised as the output was, so passes
# compared as sets match in any order.
function(compare golden actual)
  if("$ENV{VELAR_UPDATE_GOLDENS}" STREQUAL "1")
    file(WRITE ${golden} "${actual}")
    message(STATUS "wrote ${golden}")
    return()
  endif()
  if(NOT EXISTS ${golden})
    message(FATAL_ERROR "no golden file ${golden} (VELAR_UPDATE_GOLDENS=1 writes it)")
  endif()
  file(READ ${golden} expected)
  if(ARGV2 STREQUAL "SORTED")
    normalise("${expected}" expected)
  endif()
  if(NOT expected STREQUAL actual)
    get_filename_component(base ${golden} NAME)
    file(WRITE ${WORK}/${base} "${actual}")
    execute_process(COMMAND diff -u ${golden} ${WORK}/${base} OUTPUT_VARIABLE diff)
    message(FATAL_ERROR "${SCENARIO} printed other lines than ${golden}:\n${diff}")
  endif()
endfunction()

normalise("${out}" trace)
compare(${GOLDEN} "${trace}" SORTED)

if(FASTLOG)
  execute_process(COMMAND ${AGENT} fastlog ${WORK}/fastlog RESULT_VARIABLE rc OUTPUT_VARIABLE decoded
    ERROR_VARIABLE err)
  if(NOT rc STREQUAL "0")
    message(FATAL_ERROR "dvp-agent fastlog failed with ${rc}: ${err}")
  endif()
  string(REGEX REPLACE "0x[0-9a-fA-F]+" "0x?" decoded "${decoded}")
  compare(${FASTLOG} "${decoded}")
endif()
file(REMOVE_RECURSE ${WORK})
