# Chooses the Python interpreter that the module is built for and tested with: the first one that
# imports both numpy and pybind11. The first python3 on PATH is not always it (a version manager's
# private build, for example, may have neither), so every python3 on PATH is tried in order, then the
# system's. A VELDRA_PYTHON given on the command line is the only candidate.
#
# Sets VELDRA_PYTHON_FOUND, VELDRA_PYTHON (the interpreter), VELDRA_PYTHON_PYBIND11_DIR (its
# pybind11 CMake package) and VELDRA_PYTHON_HAS_PYTEST.

function(veldra_find_python)
  set(candidates)
  if(VELDRA_PYTHON)
    list(APPEND candidates "${VELDRA_PYTHON}")
  else()
    string(REPLACE ":" ";" path_dirs "$ENV{PATH}")
    foreach(dir IN LISTS path_dirs)
      if(dir AND EXISTS "${dir}/python3" AND NOT IS_DIRECTORY "${dir}/python3")
        list(APPEND candidates "${dir}/python3")
      endif()
    endforeach()
    list(APPEND candidates /usr/bin/python3)
    list(REMOVE_DUPLICATES candidates)
  endif()

  set(rejected)
  foreach(python IN LISTS candidates)
    execute_process(
      COMMAND "${python}" -c "import numpy, pybind11; print(pybind11.get_cmake_dir(), end='')"
      RESULT_VARIABLE status OUTPUT_VARIABLE cmake_dir ERROR_QUIET TIMEOUT 60)
    if(status EQUAL 0 AND EXISTS "${cmake_dir}/pybind11Config.cmake")
      execute_process(COMMAND "${python}" -c "import pytest" RESULT_VARIABLE pytest_status
                      OUTPUT_QUIET ERROR_QUIET TIMEOUT 60)
      set(VELDRA_PYTHON_FOUND TRUE PARENT_SCOPE)
      set(VELDRA_PYTHON "${python}" PARENT_SCOPE)
      set(VELDRA_PYTHON_PYBIND11_DIR "${cmake_dir}" PARENT_SCOPE)
      if(pytest_status EQUAL 0)
        set(VELDRA_PYTHON_HAS_PYTEST TRUE PARENT_SCOPE)
      else()
        set(VELDRA_PYTHON_HAS_PYTEST FALSE PARENT_SCOPE)
      endif()
      return()
    endif()
    list(APPEND rejected "${python}")
  endforeach()
  string(REPLACE ";" ", " rejected "${rejected}")
  set(VELDRA_PYTHON_FOUND FALSE PARENT_SCOPE)
  set(VELDRA_PYTHON_REJECTED "${rejected}" PARENT_SCOPE)
endfunction()
