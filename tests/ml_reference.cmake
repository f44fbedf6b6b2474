cmake_minimum_required(VERSION 3.25)
# The pair tests of a published table against its maximum-likelihood
# reference (made independently of this program): compare_pairs.py checks
# individuals, lnL1, D' and Wn, the no-information rows and that no p-value
# is 0. Variables: PROGRAM, PYTHON, DIR (tests/ml_references), NAME, WORK_DIR.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${PROGRAM} --genotypes ${DIR}/${NAME}.csv --pairs --permutations 20
  --threads 2 --quiet --out ${NAME}
  WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the pair tests of ${NAME}.csv ended with status ${status}")
endif()
execute_process(COMMAND ${PYTHON} ${DIR}/compare_pairs.py ${WORK_DIR}/${NAME}.pairs.tsv
  ${DIR}/${NAME}.pairs.reference.tsv ${NAME}
  RESULT_VARIABLE status OUTPUT_VARIABLE summary)
message("${summary}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NAME}: the maximum-likelihood reference is not met")
endif()
