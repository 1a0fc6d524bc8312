// Fixed self-signed certificates for the tests of certificate reading and of
// the trust store (no command is run to make them).
#ifndef TESTS_SUPPORT_CERTIFICATES_H
#define TESTS_SUPPORT_CERTIFICATES_H

namespace support {

// Self-signed certificates made with the openssl command: key A's first
// certificate (CN smis1), its renewal with the same key (other name, other
// dates), and key B's certificate for the same name as A's.
const char* const KEY_A =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIBdTCCARugAwIBAgIULCCFSG+L+hxSGPQwcCRtFqFh8KIwCgYIKoZIzj0EAwIw\n"
    "EDEOMAwGA1UEAwwFc21pczEwHhcNMjYxMjA4MDgxMzExWhcNMzYxMjA1MDgxMzEx\n"
    "WjAQMQ4wDAYDVQQDDAVzbWlzMTBZMBMGByqGSM49AgEGCCqGSM49AwEHA0IABPtX\n"
    "HMsdUUReiwIHVpHeo2WHW2o+Gqb3Hl9M6By3ST5cIDd2A7uJwj+9b8EkaR+rPFw5\n"
    "/477QS62QBMe//+6+TmjUzBRMB0GA1UdDgQWBBSP/0lY6NZXbWSkafiHifyGSgWJ\n"
    "fDAfBgNVHSMEGDAWgBSP/0lY6NZXbWSkafiHifyGSgWJfDAPBgNVHRMBAf8EBTAD\n"
    "AQH/MAoGCCqGSM49BAMCA0gAMEUCIQDbHLtgS0ZXOSGQPv/QwM45NRRsHz69aAS/\n"
    "VmYdamFzOgIgaE6CX7qPVk5plp4ekPUDyF9AYc4n+r4OkR/lHzdr6Zg=\n"
    "-----END CERTIFICATE-----\n";

const char* const KEY_A_RENEWED =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIBhjCCASugAwIBAgIUfTwYAUEK1VJ7qtRMTzTwYaUSY48wCgYIKoZIzj0EAwIw\n"
    "GDEWMBQGA1UEAwwNc21pczEtcmVuZXdlZDAeFw0yNjEyMDgwODEzMTJaFw00NjEy\n"
    "MDMwODEzMTJaMBgxFjAUBgNVBAMMDXNtaXMxLXJlbmV3ZWQwWTATBgcqhkjOPQIB\n"
    "BggqhkjOPQMBBwNCAAT7VxzLHVFEXosCB1aR3qNlh1tqPhqm9x5fTOgct0k+XCA3\n"
    "dgO7icI/vW/BJGkfqzxcOf+O+0EutkATHv//uvk5o1MwUTAdBgNVHQ4EFgQUj/9J\n"
    "WOjWV21kpGn4h4n8hkoFiXwwHwYDVR0jBBgwFoAUj/9JWOjWV21kpGn4h4n8hkoF\n"
    "iXwwDwYDVR0TAQH/BAUwAwEB/zAKBggqhkjOPQQDAgNJADBGAiEA7RJ5JlMFk1g5\n"
    "tDPymUEOrqyFwoLbUBhLWlPJscWbkKECIQCn6essZamyPg4aaSYfI/ZVG1uRm6QT\n"
    "Tq8WVxpduu0ekQ==\n"
    "-----END CERTIFICATE-----\n";

const char* const KEY_B =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIBdTCCARugAwIBAgIUH+/3oPCHMPVwMqEBfC9VLzoTVqcwCgYIKoZIzj0EAwIw\n"
    "EDEOMAwGA1UEAwwFc21pczEwHhcNMjYxMjA4MDgxMzEyWhcNMzYxMjA1MDgxMzEy\n"
    "WjAQMQ4wDAYDVQQDDAVzbWlzMTBZMBMGByqGSM49AgEGCCqGSM49AwEHA0IABD8K\n"
    "ErVrvtzQtz4sfGKUjZCOt05dxnOATSjs8Z76JPVROICQ6qCYsb8csIX7tQkKlRqF\n"
    "kAtKDo4mis1nWRitN/yjUzBRMB0GA1UdDgQWBBRkZfzV+gkPWF3d4gIbcD3lOrr2\n"
    "+jAfBgNVHSMEGDAWgBRkZfzV+gkPWF3d4gIbcD3lOrr2+jAPBgNVHRMBAf8EBTAD\n"
    "AQH/MAoGCCqGSM49BAMCA0gAMEUCIEPWBMpMKSh761iO37Z6YNaLb/EZgh+1Hbr8\n"
    "YFFpbxjhAiEAqIQ9+g8eKeup1+FLFItQv4G6JM221UKB2EKrM8a110g=\n"
    "-----END CERTIFICATE-----\n";

}  // namespace support

#endif  // TESTS_SUPPORT_CERTIFICATES_H
