// Hotspot and sharing answers from a table, for the host build and for tests of the decisions built on
// them (engine start, hotspot notification) on both platforms.
#pragma once
#include <mutex>

#include "logic/Sharing.h"

namespace corvane {

class CSimSharing : public CSharing {
public:
    struct Table {
        HotspotState hotspot;               // default: the query fails (no internet profile)
        SharingInterface hotspotInterface;  // default: none
        SharingInterface icsInterface;      // default: none
    };

    void Set(Table table) {
        std::lock_guard<std::mutex> guard(lock_);
        table_ = std::move(table);
    }
    HotspotState QueryHotspotState() override {
        std::lock_guard<std::mutex> guard(lock_);
        return table_.hotspot;
    }
    SharingInterface FindHotspotSharingInterface(const std::u16string& adapterId) override {
        std::lock_guard<std::mutex> guard(lock_);
        lastAdapterId_ = adapterId;
        return table_.hotspotInterface;
    }
    SharingInterface FindIcsSharingInterface() override {
        std::lock_guard<std::mutex> guard(lock_);
        return table_.icsInterface;
    }
    std::u16string LastAdapterId() {
        std::lock_guard<std::mutex> guard(lock_);
        return lastAdapterId_;
    }

private:
    std::mutex lock_;
    Table table_;
    std::u16string lastAdapterId_;
};

}  // namespace corvane
