// Command-line handling and the hand-over of a second start.
#include "ui/app/StartupPresenter.h"

#include "core/Settings.h"

namespace velora {

std::u16string_view CommandArguments(std::u16string_view commandLine) {
    // A NUL ends the command line as it ends the C string the system hands over.
    commandLine = commandLine.substr(0, commandLine.find(u'\0'));
    std::size_t i = 0;
    const std::size_t n = commandLine.size();
    if (i < n && commandLine[i] == u'"') {
        ++i;
        while (i < n && commandLine[i] != u'"') ++i;
        if (i < n) ++i;  // the closing quote
    } else {
        while (i < n && commandLine[i] > u' ') ++i;
    }
    while (i < n && commandLine[i] <= u' ') ++i;
    return commandLine.substr(i);
}

bool IsBrowserRedirect(std::u16string_view arguments) {
    return arguments.find(u"redirect") != std::u16string_view::npos;
}

bool StoreSecondStartHandOver(std::u16string_view arguments) {
    SetSettingText(u"OauthDebugRet", arguments);
    if (!IsBrowserRedirect(arguments)) return false;
    // Written before the running copy is woken, so that it reads the new value after the wake-up.
    SetSetting(u"OauthBrowerRet", arguments);
    return true;
}

}  // namespace velora
