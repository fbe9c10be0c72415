# Puts a fresh default catalogue beside the executables when none is there, the way an
# installer ships the empty catalogue. An existing one (perhaps in use) is left alone.
if(NOT EXISTS "${CATALOGUE}")
  execute_process(COMMAND "${CLI}" create "${CATALOGUE}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "quillomar-cli create ${CATALOGUE} failed (${result})")
  endif()
endif()
