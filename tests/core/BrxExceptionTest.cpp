// The skin code's exception: HRESULT form of the code, the values it carries, thrown by pointer.
#include <gtest/gtest.h>

#include "core/BrxException.h"

using namespace velora;

TEST(CBrxException, CodeTakesHresultForm) {
    struct Case {
        int32_t code;
        uint32_t want;
    };
    const Case cases[] = {
        {5, 0x80070005u},
        {14, 0x8007000Eu},
        {0x1139F, 0x8007139Fu},  // only the low 16 bits of a system code are kept
        {0x7FFFFFFF, 0x8007FFFFu},
        {0, 0u},
        {static_cast<int32_t>(0x8007000Eu), 0x8007000Eu},
        {-1, 0xFFFFFFFFu},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<uint32_t>(CBrxException::ToHresult(c.code)), c.want) << c.code;
}

TEST(CBrxException, ThrownByPointerCarriesItsValues) {
    bool caught = false;
    try {
        ThrowBrxException(14, 321, "common\\winImage", "CImageResource::Load");
    } catch (CException* e) {
        caught = true;
        auto* brx = dynamic_cast<CBrxException*>(e);
        ASSERT_NE(brx, nullptr);
        EXPECT_EQ(static_cast<uint32_t>(brx->Code()), 0x8007000Eu);
        EXPECT_EQ(brx->Line(), 321);
        EXPECT_EQ(brx->File(), "common\\winImage");
        EXPECT_EQ(brx->Function(), "CImageResource::Load");
        e->Delete();
    }
    EXPECT_TRUE(caught);
}
