# Included by CTest after the discovered tests of autotest_history_postgres.
foreach(test IN LISTS autotest_history_postgres_TESTS)
  set_tests_properties("${test}" PROPERTIES LABELS "history;postgres")
endforeach()
