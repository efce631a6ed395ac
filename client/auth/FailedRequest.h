// What a failed request to the service amounts to, decided in one place for every failure report of the
// sign-in and the account workers: a transport failure, an error answer of the service that names a
// message (with the text the catalogue gives it), or a bare HTTP status.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace velora {

struct FailedRequest {
    enum class Kind { Transport, ServerMessage, BareStatus };
    Kind kind = Kind::BareStatus;
    uint32_t code = 0;    // the transport result, else the HTTP status
    std::u16string text;  // ServerMessage: `serverErrorText` of the answer (empty when it has none)
};

// `result` and `status` of a request that did not end with status 200, and its answer. An answer counts
// as naming a message when it is at least 7 units long and holds "message".
FailedRequest ClassifyFailedRequest(uint32_t result, uint32_t status, std::u16string_view answer);

}  // namespace velora
