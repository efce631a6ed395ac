# RSA against a real peer in the Windows build: the build makes a key pair with the openssl command, the
# RsaPeer cases run under Wine with the public key and leave their ciphertexts beside it, and a host step
# then decrypts each with the private key and compares it with the plain text the case meant to send.
velora_find_program(VELORA_OPENSSL PACKAGE openssl NAMES openssl)
set(rsa_peer_dir ${CMAKE_BINARY_DIR}/rsa-peer)
add_custom_command(
    OUTPUT ${rsa_peer_dir}/private.pem ${rsa_peer_dir}/public.b64
    COMMAND ${CMAKE_COMMAND} -E make_directory ${rsa_peer_dir}
    COMMAND ${VELORA_OPENSSL} genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out ${rsa_peer_dir}/private.pem
    COMMAND ${VELORA_OPENSSL} pkey -in ${rsa_peer_dir}/private.pem -pubout -outform DER -out ${rsa_peer_dir}/public.der
    COMMAND ${VELORA_OPENSSL} base64 -A -in ${rsa_peer_dir}/public.der -out ${rsa_peer_dir}/public.b64
    COMMENT "Making the RSA key pair of the peer check"
    VERBATIM)
add_custom_target(velora_rsa_peer_key ALL DEPENDS ${rsa_peer_dir}/private.pem ${rsa_peer_dir}/public.b64)

add_test(NAME RsaPeer.WindowsEncrypts COMMAND velora_tests --gtest_filter=RsaPeer.*)
set_tests_properties(RsaPeer.WindowsEncrypts PROPERTIES
    ENVIRONMENT "VELORA_RSA_PEER_DIR=${rsa_peer_dir}" FIXTURES_SETUP rsa_peer_cipher TIMEOUT 300)
add_test(NAME RsaPeer.HostDecrypts
         COMMAND ${CMAKE_COMMAND} -DOPENSSL=${VELORA_OPENSSL} -DDIR=${rsa_peer_dir}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/RsaPeerCheck.cmake)
set_tests_properties(RsaPeer.HostDecrypts PROPERTIES FIXTURES_REQUIRED rsa_peer_cipher TIMEOUT 120)
