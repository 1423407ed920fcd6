# The settings-file fuzzer as the test command runs it, alike on every run: the
# seeds and every case a run has found (fuzz_seeds/) are replayed, then the
# fuzzer mutates them for a fixed number of runs from a fixed seed. Exploring
# with a random seed and no limit is `scripts/setup.sh fuzz`.
#   cmake -DFUZZER=... -DSEEDS=... -DWORK=... -DRUNS=... -P fuzz_run.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus)
# -reload=0: the corpus folder is read once, not again by the clock.
execute_process(COMMAND ${FUZZER} -seed=1 -runs=${RUNS} -max_len=4096 -timeout=60 -reload=0
                        -artifact_prefix=${WORK}/ ${WORK}/corpus ${SEEDS}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    file(GLOB found ${WORK}/crash-* ${WORK}/timeout-* ${WORK}/oom-* ${WORK}/leak-*)
    message(FATAL_ERROR "the fuzzer failed (${rc}); the failing input: ${found}")
endif()
