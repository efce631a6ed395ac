// The one classifier of failed requests.
#include "auth/FailedRequest.h"

#include "auth/ErrorCatalogue.h"

namespace velora {

FailedRequest ClassifyFailedRequest(uint32_t result, uint32_t status, std::u16string_view answer) {
    FailedRequest failed;
    if (result != 0) {
        failed.kind = FailedRequest::Kind::Transport;
        failed.code = result;
        return failed;
    }
    failed.code = status;
    if (answer.size() >= 7 && answer.find(u"message") != std::u16string_view::npos) {
        failed.kind = FailedRequest::Kind::ServerMessage;
        failed.text = serverErrorText(answer);
    }
    return failed;
}

}  // namespace velora
