# qrcodegen (C), compiled from the Debian source that scripts/setup.sh unpacks into third_party/qrcodegen;
# both builds use the same source, so the QR symbols match module for module on the host and on Windows.
set(VELORA_QRCODEGEN_DIR ${CMAKE_SOURCE_DIR}/third_party/qrcodegen)
if(NOT EXISTS ${VELORA_QRCODEGEN_DIR}/qrcodegen.c)
    message(FATAL_ERROR "qrcodegen source missing in ${VELORA_QRCODEGEN_DIR}: run scripts/setup.sh")
endif()
add_library(qrcodegen STATIC ${VELORA_QRCODEGEN_DIR}/qrcodegen.c)
# Third-party code: built without our warning flags, its header included as a system header.
target_include_directories(qrcodegen SYSTEM PUBLIC ${VELORA_QRCODEGEN_DIR})
set_target_properties(qrcodegen PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
if(NOT VELORA_WINDOWS AND VELORA_SANITIZE)
    target_compile_options(qrcodegen PRIVATE -fsanitize=${VELORA_SANITIZE} -fno-omit-frame-pointer)
endif()
target_link_libraries(velora_auth PRIVATE qrcodegen)
