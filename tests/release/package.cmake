# Makes the release (the zip and the installer) with CPack, then unpacks the
# zip into a folder of the test prefix named in two scripts other than Latin,
# where the release test runs it.
#   cmake -DBUILD_DIR=... -DUNPACK_DIR=... -P package.cmake
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "CPack failed: ${result}")
endif()
file(GLOB zips ${BUILD_DIR}/release/*.zip)
list(LENGTH zips count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "Expected one zip in ${BUILD_DIR}/release, found: ${zips}")
endif()
file(REMOVE_RECURSE ${UNPACK_DIR})
file(MAKE_DIRECTORY ${UNPACK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zips} WORKING_DIRECTORY ${UNPACK_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "Unpacking ${zips} failed: ${result}")
endif()
