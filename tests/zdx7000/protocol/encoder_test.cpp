// The encoder against known wire bytes, escaping, limits and its status rules.
#include "codectestutil.h"

using namespace zdx;
using namespace zdx::test;

namespace {

FrameHeader header(uint8_t command, uint8_t channel, uint8_t access)
{
    return FrameHeader{1, command, channel, access};
}

} // namespace

TEST(Encoder, IsAnEncoderNamedVaronProtocolCodec7000WithStatusOneAfterConstruction)
{
    VaronProtocolEncoder encoder;
    EXPECT_EQ(encoder.version(), 1);
    EXPECT_EQ(encoder.direction(), DirectionEncoder);
    EXPECT_STREQ(encoder.name(), "VaronProtocolCodec7000");
    EXPECT_EQ(encoder.status(), 1);
}

TEST(Checksum, IsTheSumOfCommandChannelAccessAndPayloadModulo65536)
{
    const uint8_t frame[] = {0xF0, 0x00, 0x14, 0x00, 0x52};
    EXPECT_EQ(frameChecksum(frame + 2, 3), 0x0066);
    std::vector<uint8_t> many(300, 0xFF); // 76500 wraps to 76500 - 65536
    EXPECT_EQ(frameChecksum(many.data(), 300), (300 * 255) % 65536);
    EXPECT_EQ(frameChecksum(frame, 0), 0);
}

// --- Known wire bytes ---------------------------------------------------------------------

TEST(EncoderExamples, ReadActualValueOfChannel1)
{
    auto pool = makePool();
    EXPECT_EQ(encode(*pool, header(0x81, 1, AccessRead), {}),
              (Bytes{0xF0, 0x00, 0x81, 0x01, 0x52, 0xD4, 0x00}));
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(EncoderExamples, ReadDeviceStatusHasChecksum0x0066)
{
    auto pool = makePool();
    EXPECT_EQ(encode(*pool, header(0x14, 0, AccessRead), {}),
              (Bytes{0xF0, 0x00, 0x14, 0x00, 0x52, 0x66, 0x00}));
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(EncoderExamples, WriteSetpoint370ToChannel2)
{
    auto pool = makePool();
    int16_t value = 370;
    EXPECT_EQ(encode(*pool, header(0x83, 2, AccessWrite), {element(ElementS16, 2, &value)}),
              (Bytes{0xF0, 0x02, 0x83, 0x02, 0x57, 0x72, 0x01, 0x4F, 0x01}));
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(EncoderExamples, WriteBrightness240DoublesThePayloadStartMark)
{
    auto pool = makePool();
    uint8_t brightness = 240;
    EXPECT_EQ(encode(*pool, header(0x53, 0, AccessWrite), {element(ElementU8, 1, &brightness)}),
              (Bytes{0xF0, 0x01, 0x53, 0x00, 0x57, 0xF0, 0xF0, 0x9A, 0x01}));
    EXPECT_EQ(pool->inUse(), 0);
}

// --- Escaping at every position ---------------------------------------------------------------

TEST(EncoderEscaping, LengthByte0xF0IsDoubledButTheStartMarkIsNot)
{
    auto pool = makePool();
    Bytes payload(0xF0, 0x00);
    const Bytes wire =
        encode(*pool, header(0x01, 0, AccessWrite), {element(ElementRaw, 0xF0, payload.data())});
    ASSERT_EQ(wire.size(), 0xF0u + 7 + 1);
    EXPECT_EQ((Bytes(wire.begin(), wire.begin() + 5)), (Bytes{0xF0, 0xF0, 0xF0, 0x01, 0x00}));
    EXPECT_EQ(wire, wireFrame(0x01, 0, AccessWrite, payload));
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(EncoderEscaping, HeaderBytes0xF0AreDoubled)
{
    auto pool = makePool();
    const Bytes wire = encode(*pool, header(0xF0, 0xF0, 0xF0), {});
    // Checksum 0x02D0.
    EXPECT_EQ(wire, (Bytes{0xF0, 0x00, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xD0, 0x02}));
}

TEST(EncoderEscaping, EveryPayloadByte0xF0IsDoubled)
{
    auto pool = makePool();
    uint8_t payload[] = {0xF0, 0x01, 0xF0, 0xF0};
    const Bytes wire =
        encode(*pool, header(0x40, 0, AccessWrite), {element(ElementRaw, 4, payload)});
    const uint16_t sum = 0x40 + 0x57 + 0xF0 * 3 + 0x01;
    EXPECT_EQ(wire, (Bytes{0xF0, 0x04, 0x40, 0x00, 0x57, 0xF0, 0xF0, 0x01, 0xF0, 0xF0, 0xF0, 0xF0,
                           uint8_t(sum & 0xFF), uint8_t(sum >> 8)}));
}

TEST(EncoderEscaping, ChecksumLowByte0xF0IsDoubled)
{
    auto pool = makePool();
    // 0x80 + 0x1E + 0x52 = 0xF0.
    EXPECT_EQ(encode(*pool, header(0x80, 0x1E, AccessRead), {}),
              (Bytes{0xF0, 0x00, 0x80, 0x1E, 0x52, 0xF0, 0xF0, 0x00}));
}

TEST(EncoderEscaping, ChecksumHighByte0xF0IsDoubled)
{
    auto pool = makePool();
    Bytes payload(241, 0xFF); // 241 * 255 = 0xF00F, plus 0x81 + 0x01 + 0x52 = 0xF0E3
    const Bytes wire =
        encode(*pool, header(0x81, 1, AccessRead), {element(ElementRaw, 241, payload.data())});
    ASSERT_GE(wire.size(), 3u);
    EXPECT_EQ((Bytes(wire.end() - 3, wire.end())), (Bytes{0xE3, 0xF0, 0xF0}));
    EXPECT_EQ(wire, wireFrame(0x81, 1, AccessRead, payload));
}

TEST(EncoderEscaping, BothChecksumBytes0xF0AreDoubled)
{
    auto pool = makePool();
    Bytes payload(241, 0xFF); // 0xF00F + 0x81 + 0x0E + 0x52 = 0xF0F0
    const Bytes wire =
        encode(*pool, header(0x81, 0x0E, AccessRead), {element(ElementRaw, 241, payload.data())});
    ASSERT_GE(wire.size(), 4u);
    EXPECT_EQ((Bytes(wire.end() - 4, wire.end())), (Bytes{0xF0, 0xF0, 0xF0, 0xF0}));
}

TEST(EncoderEscaping, LongestFrameFullOfStartMarksFitsA523ByteFrame)
{
    auto pool = makePool();
    Bytes payload(254, 0xF0);
    const Bytes wire =
        encode(*pool, header(0xF0, 0xF0, 0xF0), {element(ElementRaw, 254, payload.data())});
    // 254 * 0xF0 + 3 * 0xF0 = 0xF0F0: every byte after the start mark but the length (0xFE) is
    // doubled.
    EXPECT_EQ(wire.size(), 1u + 1u + 2u * 259u);
    EXPECT_LE(wire.size(), size_t(DeviceFrameCapacity));
    EXPECT_EQ(wire, wireFrame(0xF0, 0xF0, 0xF0, payload));
}

// --- Limits -------------------------------------------------------------------------------------

TEST(EncoderLimits, PayloadOf254BytesIsAcceptedAnd255IsTooLong)
{
    auto pool = makePool();
    Bytes payload(255, 0x11);
    int32_t status = -1;
    const Bytes wire = encode(*pool, header(0x80, 1, AccessRead),
                              {element(ElementRaw, 254, payload.data())}, &status);
    EXPECT_EQ(status, StatusOk);
    EXPECT_EQ(wire.size(), 254u + 7);
    EXPECT_EQ(wire[1], 254);

    encode(*pool, header(0x80, 1, AccessRead), {element(ElementRaw, 255, payload.data())}, &status);
    EXPECT_EQ(status, StatusFrameTooLong);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(EncoderLimits, TooLongCountsAcrossElementsAndAddCalls)
{
    auto pool = makePool();
    Bytes payload(200, 0x22);
    VaronProtocolEncoder encoder;
    Frame *out = lend(*pool);
    FrameHeader h = header(0x80, 1, AccessRead);
    FrameElement first = element(ElementRaw, 200, payload.data());
    FrameElement second = element(ElementRaw, 55, payload.data());
    FrameMessage m1{&h, &first, 1, nullptr, 0};
    FrameMessage m2{nullptr, &second, 1, nullptr, 0};
    ASSERT_EQ(encoder.begin(out), StatusOk);
    EXPECT_EQ(encoder.add(&m1), StatusOk);
    EXPECT_EQ(encoder.add(&m2), StatusFrameTooLong);
    EXPECT_EQ(encoder.status(), StatusFrameTooLong);
    EXPECT_EQ(encoder.finish(), StatusFrameTooLong);
    giveBack(out);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(EncoderLimits, OutputFrameTooSmallForTheEscapedFrameFailsWithoutOverrun)
{
    auto small = makePool(1, 8);
    VaronProtocolEncoder encoder;
    Frame *out = lend(*small);
    FrameHeader h = header(0x83, 2, AccessWrite);
    int16_t value = 370;
    FrameElement e = element(ElementS16, 2, &value);
    FrameMessage m{&h, &e, 1, nullptr, 0};
    ASSERT_EQ(encoder.begin(out), StatusOk);
    ASSERT_EQ(encoder.add(&m), StatusOk);
    EXPECT_EQ(encoder.finish(), StatusFrameTooLong); // 9 bytes do not fit 8
    EXPECT_EQ(out->length, 0);
    giveBack(out);

    // Exactly fitting works.
    auto exact = makePool(1, 9);
    out = lend(*exact);
    ASSERT_EQ(encoder.begin(out), StatusOk);
    ASSERT_EQ(encoder.add(&m), StatusOk);
    EXPECT_EQ(encoder.finish(), StatusOk);
    EXPECT_EQ(frameBytes(out), (Bytes{0xF0, 0x02, 0x83, 0x02, 0x57, 0x72, 0x01, 0x4F, 0x01}));
    giveBack(out);
    EXPECT_EQ(small->inUse(), 0);
    EXPECT_EQ(exact->inUse(), 0);
}

// --- Element types and status rules -----------------------------------------------------------

TEST(EncoderStatus, ElementTypeOutsideTheTableIsRefusedAndStaysUntilBegin)
{
    auto pool = makePool();
    VaronProtocolEncoder encoder;
    Frame *out = lend(*pool);
    FrameHeader h = header(0x17, 0, AccessWrite);
    uint8_t value = 1;
    for (uint8_t badType : {uint8_t(0x00), uint8_t(0x03), uint8_t(0x10), uint8_t(0x31),
                            uint8_t(0x41), uint8_t(0xFF)}) {
        FrameElement e = element(badType, 1, &value);
        FrameMessage m{&h, &e, 1, nullptr, 0};
        ASSERT_EQ(encoder.begin(out), StatusOk);
        EXPECT_EQ(encoder.add(&m), StatusBadElementType) << int(badType);
        EXPECT_EQ(encoder.add(&m), StatusBadElementType);
        EXPECT_EQ(encoder.finish(), StatusBadElementType);
        EXPECT_EQ(encoder.status(), StatusBadElementType);
    }
    // begin restarts cleanly.
    FrameElement good = element(ElementU8, 1, &value);
    FrameMessage m{&h, &good, 1, nullptr, 0};
    ASSERT_EQ(encoder.begin(out), StatusOk);
    EXPECT_EQ(encoder.status(), StatusBuilding);
    EXPECT_EQ(encoder.add(&m), StatusOk);
    EXPECT_EQ(encoder.finish(), StatusOk);
    EXPECT_EQ(encoder.status(), StatusOk);
    EXPECT_EQ(frameBytes(out), wireFrame(0x17, 0, AccessWrite, {0x01}));
    giveBack(out);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(EncoderStatus, EveryTypeOfTheTableIsAccepted)
{
    auto pool = makePool();
    uint8_t source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (uint8_t type : {0x01, 0x02, 0x04, 0x08, 0x11, 0x12, 0x14, 0x18, 0x24, 0x28}) {
        int32_t status = -1;
        const uint16_t size = type & 0x0F;
        const Bytes wire =
            encode(*pool, header(0x10, 0, AccessWrite), {element(type, size, source)}, &status);
        EXPECT_EQ(status, StatusOk) << int(type);
        EXPECT_EQ(wire, wireFrame(0x10, 0, AccessWrite, Bytes(source, source + size)));
    }
    char text[] = "Stage";
    EXPECT_EQ(encode(*pool, header(0x10, 0, AccessWrite), {element(ElementText, 6, text)}),
              wireFrame(0x10, 0, AccessWrite, Bytes{'S', 't', 'a', 'g', 'e', 0}));
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(EncoderStatus, NullArgumentsGive12)
{
    auto pool = makePool();
    VaronProtocolEncoder encoder;
    EXPECT_EQ(encoder.begin(nullptr), StatusNullArgument);
    EXPECT_EQ(encoder.finish(), StatusNullArgument);

    Frame *out = lend(*pool);
    ASSERT_EQ(encoder.begin(out), StatusOk);
    EXPECT_EQ(encoder.add(nullptr), StatusNullArgument);
    EXPECT_EQ(encoder.finish(), StatusNullArgument);

    ASSERT_EQ(encoder.begin(out), StatusOk);
    FrameMessage noElements{nullptr, nullptr, 2, nullptr, 0};
    EXPECT_EQ(encoder.add(&noElements), StatusNullArgument);

    ASSERT_EQ(encoder.begin(out), StatusOk);
    FrameElement noData = element(ElementU8, 1, nullptr);
    FrameMessage m{nullptr, &noData, 1, nullptr, 0};
    EXPECT_EQ(encoder.add(&m), StatusNullArgument);
    giveBack(out);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(EncoderStatus, AddAndFinishBeforeBeginReturnTheConstructedStatusAndWriteNothing)
{
    VaronProtocolEncoder encoder;
    FrameMessage m{nullptr, nullptr, 0, nullptr, 0};
    EXPECT_EQ(encoder.add(&m), 1);
    EXPECT_EQ(encoder.finish(), 1);
}

TEST(EncoderStatus, HeaderIsUsedOnlyWithVersion1AndAddMayBeCalledRepeatedly)
{
    auto pool = makePool();
    VaronProtocolEncoder encoder;
    Frame *out = lend(*pool);
    FrameHeader old{2, 0x83, 2, AccessWrite};
    FrameMessage ignored{&old, nullptr, 0, nullptr, 0};
    ASSERT_EQ(encoder.begin(out), StatusOk);
    EXPECT_EQ(encoder.add(&ignored), StatusOk);
    EXPECT_EQ(encoder.finish(), StatusOk);
    EXPECT_EQ(frameBytes(out), (Bytes{0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(encoder.finish(), StatusOk); // finished: the status is returned, nothing changes
    EXPECT_EQ(out->length, 7);

    FrameHeader h = header(0x84, 3, AccessRead);
    int16_t a = -2, b = 600;
    FrameElement ea = element(ElementS16, 2, &a);
    FrameElement eb = element(ElementS16, 2, &b);
    FrameMessage m1{&h, &ea, 1, nullptr, 0};
    FrameMessage m2{nullptr, &eb, 1, nullptr, 0};
    ASSERT_EQ(encoder.begin(out), StatusOk);
    EXPECT_EQ(encoder.add(&m1), StatusOk);
    EXPECT_EQ(encoder.add(&m2), StatusOk);
    EXPECT_EQ(encoder.finish(), StatusOk);
    EXPECT_EQ(frameBytes(out), wireFrame(0x84, 3, AccessRead, {0xFE, 0xFF, 0x58, 0x02}));
    giveBack(out);
    EXPECT_EQ(pool->inUse(), 0);
}
