# SPDX-License-Identifier: MIT
# Read by CTest after the cases are discovered: each case needs what its setup test makes.
foreach(t IN LISTS packaging_tests_TESTS)
  if(t MATCHES "^InstallTree\\.")
    set_tests_properties("${t}" PROPERTIES FIXTURES_REQUIRED korvane_install_tree)
  elseif(t MATCHES "^Package\\.")
    set_tests_properties("${t}" PROPERTIES FIXTURES_REQUIRED korvane_package)
  endif()
endforeach()
