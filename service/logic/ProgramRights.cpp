// The rule for the folder and the programs Corvane runs as the system account.
#include "logic/ProgramRights.h"

#include "logic/HResult.h"
#include "logic/ProcessControl.h"
#include "logic/ServiceStore.h"

namespace corvane {

bool IsTrustedWriter(std::u16string_view sid, std::u16string_view ownAccount) {
    return (!ownAccount.empty() && sid == ownAccount) || sid == u"S-1-5-18" || sid == u"S-1-5-32-544" ||
           sid == u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
}

std::u16string WhoElseMayChange(const ObjectRights& rights, std::u16string_view ownAccount) {
    if (!IsTrustedWriter(rights.owner, ownAccount))
        return u"its owner is not the system, administrators or TrustedInstaller";
    if (!rights.hasDacl) return u"it has no access list, so everyone may change it";
    for (const AccessEntry& entry : rights.entries) {
        if (!entry.allow || entry.inheritOnly || (entry.mask & kChangingRights) == 0) continue;
        if (!IsTrustedWriter(entry.sid, ownAccount))
            return u"an account other than the system, administrators or TrustedInstaller may change it";
    }
    return {};
}

bool MayRunAsSystem(CProcessControl& processes, CServiceStore& store, std::u16string_view method,
                    std::u16string_view serviceFolder, const std::vector<std::u16string>& programs) {
    if (!processes.RunsAsSystem()) return true;
    const std::u16string ownAccount = processes.OwnAccount();
    std::vector<std::u16string> paths{std::u16string(serviceFolder)};
    paths.insert(paths.end(), programs.begin(), programs.end());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::u16string what = i == 0 ? u"the service's folder" : u"the program " + paths[i];
        ObjectRights rights;
        const uint32_t error = processes.ReadRights(paths[i], rights);
        std::u16string why;
        if (error != 0) {
            why = u"its rights cannot be read " +
                  HresultSuffix(HResultFromSystemError(error),
                                store.DescribeHResult(HResultFromSystemError(error)));
        } else {
            why = WhoElseMayChange(rights, ownAccount);
        }
        if (!why.empty()) {
            store.WriteLog(std::u16string(method) + u" refused: " + what +
                           u" is not safe to run as the system account: " + why);
            return false;
        }
    }
    return true;
}

}  // namespace corvane
