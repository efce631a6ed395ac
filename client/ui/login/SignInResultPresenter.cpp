// The login window's reaction to each sign-in result code.
#include "ui/login/SignInResultPresenter.h"

#include "core/Format.h"
#include "core/Log.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

struct FixedText {
    int32_t code;
    uint32_t messageId;
};

constexpr FixedText kFixedTexts[] = {
    {501, 208},   {502, 1238},  {602, 214},    {2, 1237},     {4082, 1235}, {4083, 1273},
    {4084, 1275}, {4085, 1277}, {4086, 1271},  {4087, 1279},  {4089, 1287}, {4090, 1288},
    {4093, 1307}, {4094, 1309}, {12002, 1352}, {12007, 1364}, {12029, 223}, {12037, 1120},
};

bool Contains(std::u16string_view text, std::u16string_view word) {
    return text.find(word) != std::u16string_view::npos;
}

}  // namespace

SignInResultView DescribeSignInResult(int32_t code, std::u16string_view text, intptr_t number) {
    SignInResultView view;
    view.reEnableForm = code != 0 && code != 4091;
    switch (code) {
        case 0:
            view.admissionCheck = true;
            return view;
        case 10001:
            view.rebuildPage = true;
            return view;
        case 4091:
            view.startRetryTimer = true;
            view.informational = true;
            view.text = MessageText(kMsgContinueInBrowser);
            return view;
        case 4092:
            view.text = FormatText(MessageText(kMsgSignInFailed), static_cast<int32_t>(number));
            return view;
        case 4095:
            view.bringToFront = true;
            return view;
        case 403:
        case 405:
            view.text = text.empty() ? MessageText(kMsgSignInRefused) : std::u16string(text);
            return view;
        case 4081:
            view.text = FormatText(MessageText(kMsgIllegalPkceCodeLength), static_cast<int32_t>(number));
            return view;
        case 4088:
            view.text = FormatText(MessageText(kMsgExternalSignInFailed), text);
            return view;
        default:
            break;
    }
    for (const FixedText& f : kFixedTexts) {
        if (f.code == code) {
            view.text = MessageText(f.messageId);
            return view;
        }
    }
    view.text = text.empty() ? FormatText(MessageText(kMsgSignInFailed), code) : std::u16string(text);
    if (Contains(view.text, u"401")) {
        if (Contains(view.text, u"ChangePass")) {
            view.text = MessageText(kMsgPasswordMustBeChanged);
            view.dropCredentials = true;
        } else if (Contains(view.text, u"BindDevice")) {
            view.text.clear();
            view.showDeviceBinding = true;
        } else {
            view.text = MessageText(kMsgSignInExpired);
            view.dropCredentials = true;
        }
    }
    // The keyword rules look at the text as it came; "1108" drops the credentials whatever is shown.
    const std::u16string_view original = text.empty() ? std::u16string_view(view.text) : text;
    if (Contains(original, u"1108")) view.dropCredentials = true;
    return view;
}

}  // namespace velora
