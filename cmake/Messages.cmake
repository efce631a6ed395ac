# The numbered messages live in one catalogue (client/res/messages.txt: id, symbol, English, Chinese,
# tab-separated). From it the build generates the Windows string tables (messages.rc), the host table
# (MessageTable.cpp) and the symbols the code uses (res/MessageIds.h).
set(VELORA_MESSAGES_SOURCE ${CMAKE_SOURCE_DIR}/client/res/messages.txt)
set(VELORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(VELORA_MESSAGES_RC ${VELORA_GENERATED_DIR}/messages.rc)
set(VELORA_MESSAGES_CPP ${VELORA_GENERATED_DIR}/MessageTable.cpp)
set(VELORA_MESSAGE_IDS_H ${VELORA_GENERATED_DIR}/res/MessageIds.h)
add_custom_command(
    OUTPUT ${VELORA_MESSAGES_RC} ${VELORA_MESSAGES_CPP} ${VELORA_MESSAGE_IDS_H}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${VELORA_MESSAGES_SOURCE} -DRC=${VELORA_MESSAGES_RC}
            -DCPP=${VELORA_MESSAGES_CPP} -DIDS=${VELORA_MESSAGE_IDS_H} -P ${CMAKE_SOURCE_DIR}/cmake/GenerateMessages.cmake
    DEPENDS ${VELORA_MESSAGES_SOURCE} ${CMAKE_SOURCE_DIR}/cmake/GenerateMessages.cmake
    COMMENT "Generating message tables from the catalogue"
    VERBATIM)
add_custom_target(velora_messages DEPENDS ${VELORA_MESSAGES_RC} ${VELORA_MESSAGES_CPP} ${VELORA_MESSAGE_IDS_H})
file(MAKE_DIRECTORY ${VELORA_GENERATED_DIR}/res)
# The message symbols, for every layer of the client.
add_library(velora_message_ids INTERFACE)
target_include_directories(velora_message_ids INTERFACE ${VELORA_GENERATED_DIR})
add_dependencies(velora_message_ids velora_messages)
