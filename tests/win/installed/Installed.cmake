# Tests of the product as scripts/install-wine.sh installs it, in a Wine prefix of their own
# (installed-prefix in the build folder), so that the other Wine tests, which register and remove Corvane
# in their prefix, never meet the installed services. The fixture wine_install installs once per test
# run (the prefix itself is made once and kept) and keeps that prefix's wineserver until its cleanup.
set(VELORA_INSTALLED_PREFIX ${CMAKE_BINARY_DIR}/installed-prefix)
add_test(NAME wine_install
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/install-wine.sh --keep-server ${VELORA_INSTALLED_PREFIX})
set_tests_properties(wine_install PROPERTIES FIXTURES_SETUP wine_install TIMEOUT 400
                                             ENVIRONMENT "VELORA_WIN_BIN=${CMAKE_BINARY_DIR}/bin")
add_test(NAME wine_install_stop
         COMMAND bash -c "WINEPREFIX='${VELORA_INSTALLED_PREFIX}' /usr/lib/wine/wineserver -k 2>/dev/null; exit 0")
set_tests_properties(wine_install_stop PROPERTIES FIXTURES_CLEANUP wine_install TIMEOUT 60)

function(velora_add_installed_test name)
    add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/TestMain.cpp ${ARGN})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/win/installed
                                               ${VELORA_GENERATED_DIR})
    target_link_libraries(${name} PRIVATE velora_client corvane_ids velora_win32_handles ${VELORA_GTEST})
    target_compile_definitions(${name} PRIVATE VELORA_CLOUD_SIM_DIR="${VELORA_CLOUD_SIM_DIR_FOR_TESTS}")
    target_link_options(${name} PRIVATE -mconsole)
    # Everything the installation lays into the prefix.
    add_dependencies(${name} Velora VeloraDll Corvane ferronwin_standin dispatch_standin nsctl_standin
                     brxnet_standin linger_standin)
endfunction()

velora_add_installed_test(velora_installed_tests ${CMAKE_CURRENT_SOURCE_DIR}/win/installed/InstalledProductTest.cpp
                          ${CMAKE_CURRENT_SOURCE_DIR}/win/installed/CorvaneAttackFilesTest.cpp)
gtest_discover_tests(velora_installed_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                     PROPERTIES TIMEOUT 300 LABELS installed
                                ENVIRONMENT "WINEPREFIX=${VELORA_INSTALLED_PREFIX}"
                                FIXTURES_REQUIRED wine_install)

# The NATIVE connect from end to end through the installed product and the cloud stand-in (label
# native-e2e).
velora_add_installed_test(velora_native_connect_test ${CMAKE_CURRENT_SOURCE_DIR}/win/installed/NativeConnectTest.cpp)
# Registered one by one (a test added to the source is added here too): the discovered tests' properties
# cannot carry the two fixtures and two labels these need.
foreach(name ConnectsCountsSurvivesAnEngineCrashAndDisconnects StoppedPacketDriverRefusesTheConnect
             UnconnectedEndsLeaveNoEngineRunning CachedFilterListIsReadBesideVeloraDll)
    add_test(NAME NativeConnect.${name} COMMAND velora_native_connect_test --gtest_filter=NativeConnect.${name})
    set_tests_properties(NativeConnect.${name} PROPERTIES TIMEOUT 300 LABELS "installed;native-e2e"
                         ENVIRONMENT "WINEPREFIX=${VELORA_INSTALLED_PREFIX}"
                         FIXTURES_REQUIRED "wine_install;cloud_sim")
endforeach()

# Attacks a standard caller can make on the installed service, one table with the proof after each row.
velora_add_installed_test(velora_attack_tests ${CMAKE_CURRENT_SOURCE_DIR}/win/installed/CorvaneAttackTest.cpp)
target_link_libraries(velora_attack_tests PRIVATE iphlpapi)
add_dependencies(velora_attack_tests linger_standin)
gtest_discover_tests(velora_attack_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                     PROPERTIES TIMEOUT 300 LABELS installed
                                ENVIRONMENT "WINEPREFIX=${VELORA_INSTALLED_PREFIX}"
                                FIXTURES_REQUIRED wine_install)
