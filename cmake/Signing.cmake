# Authenticode signatures of the programs we ship, made with osslsigncode.
#
# A release build names the publisher's certificate (README, "Signing a release").
# Any other build makes a throw-away test CA and signing certificate in
# <build>/test-signing-only and signs with those, so every build signs the same
# way and the tests check real signatures. Test certificates never leave the build
# tree and no machine trusts them.
find_program(AR_OSSLSIGNCODE osslsigncode REQUIRED)
find_program(AR_OPENSSL openssl REQUIRED)

set(AR_SIGN_PKCS12 "" CACHE FILEPATH "Code-signing certificate and key, PKCS#12 (.pfx); empty: a test certificate")
set(AR_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate with its chain, PEM (together with AR_SIGN_KEY)")
set(AR_SIGN_KEY "" CACHE FILEPATH "Private key of AR_SIGN_CERT, PEM")
set(AR_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File holding the password of AR_SIGN_PKCS12 or AR_SIGN_KEY (else AR_SIGN_PASSWORD from the build's environment)")
set(AR_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping service for release signatures; empty: none")
set(AR_SIGN_CAFILE "" CACHE FILEPATH
    "Root certificates the tests verify the signatures against; empty: the test CA, or the system's with a real certificate")

set(AR_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/sign-program.sh)
if(AR_SIGN_PKCS12)
    set(AR_SIGN_OPTIONS -pkcs12 ${AR_SIGN_PKCS12})
    set(AR_SIGN_INPUTS ${AR_SIGN_PKCS12})
elseif(AR_SIGN_CERT OR AR_SIGN_KEY)
    if(NOT AR_SIGN_CERT OR NOT AR_SIGN_KEY)
        message(FATAL_ERROR "AR_SIGN_CERT and AR_SIGN_KEY go together")
    endif()
    set(AR_SIGN_OPTIONS -certs ${AR_SIGN_CERT} -key ${AR_SIGN_KEY})
    set(AR_SIGN_INPUTS ${AR_SIGN_CERT} ${AR_SIGN_KEY})
endif()

if(AR_SIGN_OPTIONS)
    set(AR_SIGN_TEST_CERTIFICATE OFF)
    if(AR_SIGN_PASSWORD_FILE)
        list(APPEND AR_SIGN_OPTIONS -readpass ${AR_SIGN_PASSWORD_FILE})
    endif()
    if(AR_SIGN_TIMESTAMP_URL)
        list(APPEND AR_SIGN_OPTIONS -ts ${AR_SIGN_TIMESTAMP_URL})
    endif()
    if(AR_SIGN_CAFILE)
        set(AR_SIGN_VERIFY_CAFILE ${AR_SIGN_CAFILE})
    else()
        set(AR_SIGN_VERIFY_CAFILE /etc/ssl/certs/ca-certificates.crt)
    endif()
    add_custom_target(ar_signing_certificate)
else()
    set(AR_SIGN_TEST_CERTIFICATE ON)
    set(dir ${CMAKE_BINARY_DIR}/test-signing-only)
    set(AR_SIGN_OPTIONS -certs ${dir}/TEST-ONLY-signing-cert.pem -key ${dir}/TEST-ONLY-signing-key.pem)
    set(AR_SIGN_INPUTS ${dir}/TEST-ONLY-signing-cert.pem)
    set(AR_SIGN_VERIFY_CAFILE ${dir}/TEST-ONLY-ca.pem)
    if(AR_SIGN_CAFILE)
        set(AR_SIGN_VERIFY_CAFILE ${AR_SIGN_CAFILE})
    endif()
    add_custom_command(
        OUTPUT ${dir}/TEST-ONLY-ca.pem ${dir}/TEST-ONLY-signing-cert.pem ${dir}/TEST-ONLY-signing-key.pem
        COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/make-test-certificate.sh ${AR_OPENSSL} ${dir}
        DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make-test-certificate.sh
        COMMENT "Making the build's test-only code-signing CA and certificate"
        VERBATIM)
    add_custom_target(ar_signing_certificate DEPENDS ${dir}/TEST-ONLY-signing-cert.pem)
endif()

# ar_sign_program(target "description"): signs the target's file in place once it
# is linked, so that everything built from the target (the payload, the tests, the
# demo) takes the signed file. A new certificate links and signs the program again.
function(ar_sign_program target description)
    add_dependencies(${target} ar_signing_certificate)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${AR_SIGN_INPUTS})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND sh ${AR_SIGN_SCRIPT} ${AR_OSSLSIGNCODE} $<TARGET_FILE:${target}> ${description} ${AR_SIGN_OPTIONS}
        COMMENT "Signing ${target}"
        VERBATIM)
endfunction()
