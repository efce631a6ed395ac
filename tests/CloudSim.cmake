# The cloud service stand-in for the test run: a CTest fixture starts it (a host program, also for the
# Wine run, where the test programs cannot start a Linux process) and stops it by its pid. Tests find its
# URLs in ${VELORA_CLOUD_SIM_DIR}/ready and the test CA in ca.pem there.
set(VELORA_CLOUD_SIM_DIR ${CMAKE_BINARY_DIR}/cloud-sim)
if(VELORA_WINDOWS)
    set(VELORA_CLOUD_SIM_EXE ${CMAKE_SOURCE_DIR}/build/host/bin/velora_cloud_sim
        CACHE FILEPATH "The host build's stand-in, used by the Wine test run")
else()
    set(VELORA_CLOUD_SIM_EXE $<TARGET_FILE:velora_cloud_sim>)
endif()
add_test(NAME cloud_sim_start
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/cloud-sim.sh start ${VELORA_CLOUD_SIM_DIR} ${VELORA_CLOUD_SIM_EXE})
add_test(NAME cloud_sim_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/cloud-sim.sh stop ${VELORA_CLOUD_SIM_DIR})
set_tests_properties(cloud_sim_start PROPERTIES FIXTURES_SETUP cloud_sim TIMEOUT 120)
set_tests_properties(cloud_sim_stop PROPERTIES FIXTURES_CLEANUP cloud_sim TIMEOUT 60)
# Wine sees the host's files under drive Z:.
if(VELORA_WINDOWS)
    set(VELORA_CLOUD_SIM_DIR_FOR_TESTS "Z:${VELORA_CLOUD_SIM_DIR}")
else()
    set(VELORA_CLOUD_SIM_DIR_FOR_TESTS "${VELORA_CLOUD_SIM_DIR}")
endif()
