# The run record against its published JSON Schema, validated by Debian's
# python3-jsonschema (.ci/install-deps); without the module the test skips.
if(NOT CMAKE_CROSSCOMPILING AND NOT WIN32)
  # Debian's interpreter first: that is where the package puts the module.
  find_program(VR512B_PYTHON3 NAMES python3 HINTS /usr/bin)
  if(VR512B_PYTHON3)
    add_test(NAME run_record_schema
             COMMAND ${VR512B_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/validate_run_record.py
                     $<TARGET_FILE:vr512b-diag-cli> ${PROJECT_SOURCE_DIR}/docs/run-record.schema.json)
    set_tests_properties(run_record_schema PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
  endif()
endif()
