# The numbered messages live in one catalogue (client/res/messages.txt: id, English, Chinese, tab-separated).
# From it the build generates the Windows string tables (messages.rc) and the host table (MessageTable.cpp).
set(VELORA_MESSAGES_SOURCE ${CMAKE_SOURCE_DIR}/client/res/messages.txt)
set(VELORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(VELORA_MESSAGES_RC ${VELORA_GENERATED_DIR}/messages.rc)
set(VELORA_MESSAGES_CPP ${VELORA_GENERATED_DIR}/MessageTable.cpp)
add_custom_command(
    OUTPUT ${VELORA_MESSAGES_RC} ${VELORA_MESSAGES_CPP}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${VELORA_MESSAGES_SOURCE} -DRC=${VELORA_MESSAGES_RC}
            -DCPP=${VELORA_MESSAGES_CPP} -P ${CMAKE_SOURCE_DIR}/cmake/GenerateMessages.cmake
    DEPENDS ${VELORA_MESSAGES_SOURCE} ${CMAKE_SOURCE_DIR}/cmake/GenerateMessages.cmake
    COMMENT "Generating message tables from the catalogue"
    VERBATIM)
add_custom_target(velora_messages DEPENDS ${VELORA_MESSAGES_RC} ${VELORA_MESSAGES_CPP})
