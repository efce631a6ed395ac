// Message tables of the engine start and the hotspot notification.
#include "logic/DataPathMessages.h"

#include "contract/CorvaneContract.h"
#include "logic/HResult.h"

namespace corvane {
namespace {

struct Texts {
    std::u16string_view chinese;
    std::u16string_view english;
};

Texts TextsOf(DataPathMessage key) {
    switch (key) {
        case DataPathMessage::HotspotNotStarted:
            return {u"侦测到未启动移动热点", u"Mobile hotspot not started"};
        case DataPathMessage::HotspotStateFailed:
            return {u"由于获取Wi-Fi移动热点状态失败,无法加速热点接入设备",
                    u"Unable to accelerate hotspot access device due to the failure to get hotspot status"};
        case DataPathMessage::HotspotInterfaceFailed:
            return {u"由于获取Wi-Fi移动热点共享接口失败,无法加速热点接入设备",
                    u"Unable to accelerate hotspot access device due to the failure to get the Wi-Fi mobile "
                    u"hotspot sharing interface"};
        case DataPathMessage::HotspotOn:
            return {u"侦测到移动热点已开启\uFF0C通知DP设置共享接口:%s,接口索引:%d",
                    u"The mobile hotspot is enabled and notify DP to set the sharing interface:%s, interface "
                    u"index:%d"};
        case DataPathMessage::SharingOn:
            return {u"侦测到Internet网络共享已开启\uFF0C通知DP设置共享接口:%s,接口索引:%d",
                    u"The internet connection sharing is enabled and notify DP to set the sharing "
                    u"interface:%s, interface index:%d"};
        case DataPathMessage::HotspotOffUpdate:
            return {u"侦测到移动热点已关闭\uFF0C通知DP更新状态",
                    u"Mobile hotspot is off, notify DP to update status"};
        case DataPathMessage::HotspotOnUpdate:
            return {u"侦测到移动热点已开启\uFF0C通知DP更新共享接口:%s,接口索引:%d",
                    u"Detect the mobile hotspot is enabled and notify DP to update the sharing interface:%s, "
                    u"interface index:%d"};
        case DataPathMessage::HotspotInterfaceProblem:
            return {u"由于获取Wi-Fi移动热点共享接口失败,加速热点设备可能存在问题",
                    u"There may be a problem with the acceleration hotspot device due to the failure to get "
                    u"the Wi-Fi mobile hotspot sharing interface"};
        case DataPathMessage::HotspotStateProblem:
            return {u"由于获取Wi-Fi移动热点状态失败,加速热点设备可能存在问题",
                    u"There may be a problem with the acceleration hotspot device due to the failure to "
                    u"obtain the Wi-Fi hotspot status"};
    }
    return {};
}

}  // namespace

std::u16string_view DataPathMessageText(DataPathMessage key, int32_t langId) {
    const Texts texts = TextsOf(key);
    return langId == kChineseLangId ? texts.chinese : texts.english;
}

std::u16string FormatInterfaceMessage(DataPathMessage key, int32_t langId, std::u16string_view display,
                                      int32_t index) {
    const std::u16string_view format = DataPathMessageText(key, langId);
    std::u16string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's') {
            out += display;
            ++i;
        } else if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u'd') {
            out += Decimal(index);
            ++i;
        } else {
            out += format[i];
        }
    }
    if (out.size() >= kMessageBufferUnits) out.resize(kMessageBufferUnits - 1);
    return out;
}

}  // namespace corvane
