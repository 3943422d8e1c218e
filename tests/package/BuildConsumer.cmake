# cmake -P script: configure, build and run the consumer project against the package.
file(REMOVE_RECURSE ${WORK_DIR})
if(MODE STREQUAL "install-tree")
    set(prefix ${WORK_DIR}/prefix)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BUILD_DIR} --prefix ${prefix}
        RESULT_VARIABLE rc OUTPUT_QUIET)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "cmake --install failed (${rc})")
    endif()
    set(PACKAGE_DIR ${prefix}/lib/cmake/ZelkToolkit)
    # Only the public headers, each below the folder of its layer.
    set(include ${prefix}/include/zelk)
    file(GLOB flat ${include}/*.h)
    if(flat)
        message(FATAL_ERROR "headers installed straight into ${include}: ${flat}")
    endif()
    foreach(expected platform/objbase.h platform/Exceptions.h toolkit/ZelkComn.h
            toolkit/ZelkAE.h journal/ZelkJournal.h dialogs/ZelkDefFilterDlg.h aesim/ZelkAESim.h)
        if(NOT EXISTS ${include}/${expected})
            message(FATAL_ERROR "${include}/${expected} was not installed")
        endif()
    endforeach()
    foreach(internal platform/variantscalar.h platform/TextFormParser.h toolkit/ZelkJsonText.h
            journal/ZelkJournalStore.h aesim/SimEngine.h)
        if(EXISTS ${include}/${internal})
            message(FATAL_ERROR "the internal header ${include}/${internal} was installed")
        endif()
    endforeach()
endif()

function(run step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${step} failed (${rc}):\n${out}")
    endif()
endfunction()

run(configure ${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DZelkToolkit_DIR=${PACKAGE_DIR}
    -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run(build ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(run ${WORK_DIR}/consumer/zelk_consumer)
message(STATUS "consumer built and ran against the ${MODE}")
