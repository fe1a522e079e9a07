// The decoder: reassembly from chunks, escaping, framing and checksum errors, extraction rules, the
// mended behaviours, states and the return of every pool frame.
#include "codectestutil.h"

#include <string>

using namespace zdx;
using namespace zdx::test;

namespace {

Bytes unescape(const Bytes &wire)
{
    Bytes raw;
    for (size_t i = 0; i < wire.size(); ++i) {
        raw.push_back(wire[i]);
        if (i > 0 && wire[i] == StartMark) {
            ++i; // skip the doubled half
        }
    }
    return raw;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

Bytes textPayload(const std::string &text)
{
    Bytes payload(text.begin(), text.end());
    payload.push_back(0);
    return payload;
}

// Every test runs against a receive pool of four frames, as the device's, and ends with every frame
// back in it.
class DecoderTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        decoder.reset();
        EXPECT_EQ(rx->inUse(), 0) << "a pool frame was lost";
        EXPECT_EQ(rx->total(), 4);
    }

    // Decodes `wire` into a newly lent output frame in chunks of `chunk` bytes; the caller gives
    // the output frame back (or extract does).
    Frame *decodeInto(const Bytes &wire, size_t chunk = SIZE_MAX,
                      int32_t expectedState = DecoderFrameReady)
    {
        Frame *out = lend(*rx);
        EXPECT_NE(out, nullptr);
        const DecodeRun run = feed(decoder, *rx, out, wire, chunk);
        EXPECT_EQ(run.state, expectedState);
        return out;
    }

    // Decodes a whole response and returns the reassembled (unescaped) frame; the output frame goes
    // back.
    Bytes reassemble(const Bytes &wire, size_t chunk)
    {
        Frame *out = decodeInto(wire, chunk);
        Bytes bytes = frameBytes(out);
        giveBack(out);
        decoder.reset();
        return bytes;
    }

    std::unique_ptr<FramePool> rx = makePool(4);
    VaronProtocolDecoder decoder;
};

// Wire frames whose 0xF0 bytes sit at every position of a frame.
std::vector<Bytes> escapingFrames()
{
    return {
        wireFrame(0x53, 0, AccessWrite, {0xF0}),             // payload
        wireFrame(0x01, 0, AccessWrite, Bytes(0xF0, 0x00)),  // length byte
        wireFrame(0xF0, 0xF0, 0xF0, {}),                     // header
        wireFrame(0x80, 0x1E, AccessRead, {}),               // checksum low byte
        wireFrame(0x81, 0x01, AccessRead, Bytes(241, 0xFF)), // checksum high byte (last byte)
        wireFrame(0x81, 0x0E, AccessRead, Bytes(241, 0xFF)), // both checksum bytes
        wireFrame(0xF0, 0xF0, 0xF0, Bytes(254, 0xF0)),       // everything but the length
    };
}

} // namespace

// --- Reassembly ---------------------------------------------------------------------------------

TEST_F(DecoderTest, IsADecoderIdleAfterConstruction)
{
    EXPECT_EQ(decoder.direction(), DirectionDecoder);
    EXPECT_STREQ(decoder.name(), "VaronProtocolCodec7000");
    EXPECT_EQ(decoder.state(), DecoderIdle);
    EXPECT_EQ(decoder.status(), 1);
    EXPECT_EQ(decoder.decode(), DecoderIdle);
}

TEST_F(DecoderTest, WholeResponseInOneChunkIsExtractedIntoTheCallersVariables)
{
    const Bytes wire{0xF0, 0x02, 0x83, 0x02, 0x57, 0x72, 0x01, 0x4F, 0x01};
    Frame *out = decodeInto(wire);
    EXPECT_EQ(decoder.status(), StatusOk);
    EXPECT_EQ(frameBytes(out), wire);
    EXPECT_EQ(decoder.inputFrame(), nullptr) << "a used-up input frame goes back at once";
    EXPECT_EQ(rx->inUse(), 1);

    FrameHeader header{1, 0x83, 9, AccessRead};
    int16_t value = 0;
    FrameElement e = element(ElementS16, 2, &value);
    FrameMessage m{&header, &e, 1, reinterpret_cast<Frame *>(0x1), 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(value, 370);
    EXPECT_EQ(header.command, 0x83);
    EXPECT_EQ(header.channel, 2);
    EXPECT_EQ(header.access, AccessWrite);
    EXPECT_EQ(m.retained, nullptr);
    EXPECT_EQ(decoder.state(), DecoderIdle);
    EXPECT_EQ(decoder.status(), StatusOk);
    EXPECT_EQ(decoder.outputFrame(), nullptr);
    EXPECT_EQ(rx->inUse(), 0) << "extract gives the output frame back";
}

TEST_F(DecoderTest, SingleByteChunksAndEveryOtherChunkSizeYieldTheSameFrame)
{
    std::vector<Bytes> frames = escapingFrames();
    frames.push_back({0xF0, 0x00, 0x81, 0x01, 0x52, 0xD4, 0x00});
    frames.push_back(wireFrame(0x80, 1, AccessRead, textPayload("Heat Unit H2 Stage")));
    for (const Bytes &wire : frames) {
        const Bytes expected = unescape(wire);
        for (size_t chunk : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(64), wire.size()}) {
            EXPECT_EQ(reassemble(wire, chunk), expected) << "chunk " << chunk;
            EXPECT_EQ(rx->inUse(), 0);
        }
    }
}

TEST_F(DecoderTest, NoiseBeforeTheStartMarkIsSkipped)
{
    const Bytes wire = wireFrame(0x81, 1, AccessRead, {0x2A, 0x01});
    const Bytes noisy = concat({{0x00, 0x55, 0xFF, 0xEF, 0xF1, 0x0F, 0x52}, wire});
    EXPECT_EQ(reassemble(noisy, SIZE_MAX), unescape(wire));
    EXPECT_EQ(reassemble(noisy, 1), unescape(wire));
    EXPECT_EQ(reassemble(noisy, 3), unescape(wire));
}

TEST_F(DecoderTest, NoiseAloneKeepsAskingForInputAndReturnsEveryInputFrame)
{
    Frame *out = lend(*rx);
    const DecodeRun run = feed(decoder, *rx, out, Bytes(100, 0x42), 10);
    EXPECT_EQ(run.state, DecoderNeedsInput);
    EXPECT_EQ(run.consumedChunks, 10u);
    EXPECT_EQ(rx->inUse(), 1); // only the output frame
    giveBack(out);
}

TEST_F(DecoderTest, EscapedBytesAtEveryPositionRoundTripThroughEncoderAndDecoder)
{
    auto tx = makePool();
    Bytes big(241, 0xFF);
    Bytes marks(254, 0xF0);
    uint8_t brightness = 0xF0;
    struct Case
    {
        FrameHeader header;
        std::vector<FrameElement> elements;
    };
    std::vector<Case> cases = {
        {{1, 0x53, 0, AccessWrite}, {element(ElementU8, 1, &brightness)}},
        {{1, 0x01, 0, AccessWrite}, {element(ElementRaw, 0xF0, big.data())}},
        {{1, 0xF0, 0xF0, 0xF0}, {}},
        {{1, 0x80, 0x1E, AccessRead}, {}},
        {{1, 0x81, 0x01, AccessRead}, {element(ElementRaw, 241, big.data())}},
        {{1, 0x81, 0x0E, AccessRead}, {element(ElementRaw, 241, big.data())}},
        {{1, 0xF0, 0xF0, 0xF0}, {element(ElementRaw, 254, marks.data())}},
    };
    for (Case &c : cases) {
        const Bytes wire = encode(*tx, c.header, c.elements);
        ASSERT_FALSE(wire.empty());
        for (size_t chunk : {size_t(1), SIZE_MAX}) {
            Frame *out = decodeInto(wire, chunk);
            FrameHeader back{1, 0, 0, 0};
            Bytes values(c.elements.empty() ? 0 : c.elements[0].length);
            std::vector<FrameElement> into;
            if (!c.elements.empty()) {
                into.push_back(element(c.elements[0].type, c.elements[0].length, values.data()));
            }
            FrameMessage m{&back, into.data(), int32_t(into.size()), nullptr, 0};
            ASSERT_EQ(decoder.extract(&m), StatusOk);
            EXPECT_EQ(back.command, c.header.command);
            EXPECT_EQ(back.channel, c.header.channel);
            EXPECT_EQ(back.access, c.header.access);
            if (!c.elements.empty()) {
                const auto *source = static_cast<const uint8_t *>(c.elements[0].data);
                EXPECT_EQ(values, Bytes(source, source + c.elements[0].length));
            }
            (void)out;
        }
    }
    EXPECT_EQ(tx->inUse(), 0);
}

TEST_F(DecoderTest, BytesAfterACompleteFrameStayForTheNextBegin)
{
    const Bytes first = wireFrame(0x81, 1, AccessRead, {0x10, 0x00});
    const Bytes second = wireFrame(0x81, 2, AccessRead, {0x20, 0x00});
    Frame *out = decodeInto(concat({first, second}));
    EXPECT_NE(decoder.inputFrame(), nullptr) << "the input frame still holds the second frame";
    int16_t value = 0;
    FrameElement e = element(ElementS16, 2, &value);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    ASSERT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(value, 0x10);

    out = lend(*rx);
    EXPECT_EQ(decoder.begin(out), StatusOk);
    EXPECT_EQ(decoder.state(), DecoderHasInput);
    EXPECT_EQ(decoder.decode(), DecoderFrameReady);
    EXPECT_EQ(decoder.inputFrame(), nullptr);
    ASSERT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(value, 0x20);
}

TEST_F(DecoderTest, ResetDropsLeftoverBytesAndGivesTheInputFrameBack)
{
    const Bytes two =
        concat({wireFrame(0x14, 0, AccessRead, {0}), wireFrame(0x14, 0, AccessRead, {1})});
    Frame *out = decodeInto(two);
    EXPECT_EQ(rx->inUse(), 2);
    giveBack(out); // the holder gives up on the frame without extracting
    decoder.reset();
    EXPECT_EQ(decoder.inputFrame(), nullptr);
    EXPECT_EQ(decoder.outputFrame(), nullptr);
    EXPECT_EQ(decoder.state(), DecoderIdle);
    EXPECT_EQ(decoder.status(), 1);
    EXPECT_EQ(rx->inUse(), 0);
}

TEST(DecoderLifetime, DestroyingTheDecoderGivesAHeldInputFrameBack)
{
    auto rx = makePool(4);
    {
        VaronProtocolDecoder decoder;
        Frame *out = lend(*rx);
        feed(decoder, *rx, out, concat({wireFrame(0x14, 0, AccessRead, {0}), Bytes{0xF0}}),
             SIZE_MAX);
        EXPECT_EQ(rx->inUse(), 2);
        giveBack(out);
    }
    EXPECT_EQ(rx->inUse(), 0);
}

// --- Framing and checksum errors ---------------------------------------------------------------

TEST_F(DecoderTest, LoneStartMarkFollowedByAnotherByteIsAFramingError)
{
    // The payload's 0xF0 is not doubled: it reads as a new start mark.
    const Bytes broken{0xF0, 0x02, 0x83, 0x02, 0x57, 0xF0, 0x01, 0x00, 0x00};
    for (size_t chunk : {size_t(1), SIZE_MAX}) {
        Frame *out = decodeInto(broken, chunk, DecoderError);
        EXPECT_EQ(decoder.status(), StatusFramingError);
        EXPECT_EQ(decoder.decode(), DecoderError) << "the decoder stays in state 5";
        EXPECT_EQ(decoder.begin(out), StatusWrongState);
        EXPECT_EQ(decoder.outputFrame(), out) << "the output frame stays with its holder";
        giveBack(out);
        decoder.reset();
        EXPECT_EQ(rx->inUse(), 0);
    }
}

TEST_F(DecoderTest, CorruptedChecksumGives11AndTheNextFrameDecodesAfterReset)
{
    Bytes corrupt = wireFrame(0x81, 1, AccessRead, {0x72, 0x01});
    corrupt[corrupt.size() - 2] ^= 0x01;
    Frame *out = decodeInto(corrupt, 1, DecoderError);
    EXPECT_EQ(decoder.status(), StatusChecksumMismatch);
    giveBack(out);
    decoder.reset();
    EXPECT_EQ(rx->inUse(), 0);

    // Corrupt payload with an intact checksum field fails the same way.
    Bytes flipped = wireFrame(0x81, 1, AccessRead, {0x72, 0x01});
    flipped[5] = 0x73;
    out = decodeInto(flipped, SIZE_MAX, DecoderError);
    EXPECT_EQ(decoder.status(), StatusChecksumMismatch);
    giveBack(out);
    decoder.reset();

    out = decodeInto(wireFrame(0x81, 1, AccessRead, {0x72, 0x01}));
    int16_t value = 0;
    FrameElement e = element(ElementS16, 2, &value);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(value, 370);
}

TEST_F(DecoderTest, FramingErrorThenResetAcceptsTheNextFrame)
{
    Frame *out = decodeInto({0xF0, 0x05, 0x81, 0xF0, 0x42}, SIZE_MAX, DecoderError);
    EXPECT_EQ(decoder.status(), StatusFramingError);
    EXPECT_NE(decoder.inputFrame(), nullptr) << "the offending byte is not consumed";
    giveBack(out);
    decoder.reset();
    EXPECT_EQ(rx->inUse(), 0);
    out = decodeInto(wireFrame(0x87, 3, AccessRead, {0x05}), 2);
    uint8_t status = 0;
    FrameElement e = element(ElementU8, 1, &status);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(status, 5);
}

TEST_F(DecoderTest, LengthByteAnnouncingMoreThanTheOutputFrameHoldsIsAFramingError)
{
    auto small = makePool(1, 16);
    Frame *out = lend(*small);
    const Bytes wire = wireFrame(0x80, 1, AccessRead, Bytes(20, 'x')); // needs 27 bytes
    DecodeRun run = feed(decoder, *rx, out, wire, 4);
    EXPECT_EQ(run.state, DecoderError);
    EXPECT_EQ(decoder.status(), StatusFramingError);
    EXPECT_EQ(out->length, 0);
    giveBack(out);
    decoder.reset();

    // A frame of exactly the output frame's capacity fits.
    out = lend(*small);
    run = feed(decoder, *rx, out, wireFrame(0x80, 1, AccessRead, Bytes(9, 'y')), 4);
    EXPECT_EQ(run.state, DecoderFrameReady);
    EXPECT_EQ(out->length, 16);
    FrameMessage m{nullptr, nullptr, 0, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(small->inUse(), 0);
}

// --- Mend: final byte an escaped 0xF0 ----------------------------------------------------------

TEST_F(DecoderTest, FrameEndingInAnEscapedStartMarkIsAccepted)
{
    const Bytes wire = wireFrame(0x81, 1, AccessRead, Bytes(241, 0xFF)); // ... E3 F0 F0
    ASSERT_EQ(wire.back(), 0xF0);
    for (size_t chunk : {size_t(1), size_t(2), size_t(5), SIZE_MAX}) {
        Frame *out = decodeInto(wire, chunk);
        EXPECT_EQ(decoder.status(), StatusOk);
        EXPECT_EQ(out->length, 241 + 7);
        FrameMessage m{nullptr, nullptr, 0, nullptr, 0};
        EXPECT_EQ(decoder.extract(&m), StatusOk);
        decoder.reset();
    }
}

TEST_F(DecoderTest, FrameEndingInAnEscapedStartMarkWaitsForThePartnerAcrossChunks)
{
    const Bytes wire = wireFrame(0x81, 1, AccessRead, Bytes(241, 0xFF));
    Frame *out = lend(*rx);
    size_t offset = 0;
    // Everything but the partner byte.
    DecodeRun run = feed(decoder, *rx, out, Bytes(wire.begin(), wire.end() - 1), SIZE_MAX, &offset);
    EXPECT_EQ(run.state, DecoderNeedsInput) << "waits for the partner of the final 0xF0";
    EXPECT_EQ(rx->inUse(), 1);
    offset = 0;
    run = feed(decoder, *rx, out, Bytes{0xF0}, 1, &offset);
    EXPECT_EQ(run.state, DecoderFrameReady);
    EXPECT_EQ(decoder.status(), StatusOk);
    giveBack(out);
}

TEST_F(DecoderTest, FinalStartMarkFollowedByAnotherByteIsStillAFramingError)
{
    Bytes wire = wireFrame(0x81, 1, AccessRead, Bytes(241, 0xFF));
    wire.back() = 0x00; // E3 F0 00: the final 0xF0 is unpaired
    for (size_t chunk : {size_t(1), SIZE_MAX}) {
        Frame *out = decodeInto(wire, chunk, DecoderError);
        EXPECT_EQ(decoder.status(), StatusFramingError);
        giveBack(out);
        decoder.reset();
    }
}

TEST_F(DecoderTest, FrameEndingInEscapedStartMarkFollowedByTheNextFrameDecodesBoth)
{
    const Bytes first = wireFrame(0x81, 0x0E, AccessRead, Bytes(241, 0xFF)); // ends F0 F0 F0 F0
    const Bytes second = wireFrame(0x14, 0, AccessRead, {0x07});
    const Bytes both = concat({first, second});
    size_t offset = 0;
    Frame *out = lend(*rx);
    DecodeRun run = feed(decoder, *rx, out, both, 3, &offset);
    EXPECT_EQ(run.state, DecoderFrameReady);
    FrameMessage none{nullptr, nullptr, 0, nullptr, 0};
    ASSERT_EQ(decoder.extract(&none), StatusOk);
    out = lend(*rx);
    run = feed(decoder, *rx, out, both, 3, &offset);
    EXPECT_EQ(run.state, DecoderFrameReady);
    uint8_t status = 0;
    FrameElement e = element(ElementU8, 1, &status);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    ASSERT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(status, 7);
}

// --- Extraction --------------------------------------------------------------------------------

TEST_F(DecoderTest, RefusalWithCommandZeroLeavesTheCallersVariablesUntouched)
{
    decodeInto(wireFrame(0x00, 2, AccessWrite, {0x11, 0x22, 0x33, 0x44}));
    FrameHeader header{1, 0x84, 2, AccessRead};
    int16_t minimum = -999, maximum = 999;
    FrameElement e[2] = {element(ElementS16, 2, &minimum, "minValue"),
                         element(ElementS16, 2, &maximum, "maxValue")};
    FrameMessage m{&header, e, 2, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(header.command, 0);
    EXPECT_EQ(header.access, AccessWrite);
    EXPECT_EQ(minimum, -999);
    EXPECT_EQ(maximum, 999);
    EXPECT_EQ(m.retained, nullptr);
    EXPECT_EQ(decoder.state(), DecoderIdle);
}

TEST_F(DecoderTest, RefusalWithPointerElementsRetainsNothing)
{
    decodeInto(wireFrame(0x00, 1, AccessRead, {}));
    FrameElement e = element(ElementS16, 0, nullptr);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(e.data, nullptr);
    EXPECT_EQ(m.retained, nullptr);
}

TEST_F(DecoderTest, SetpointRangeFillsBothValuesInOrder)
{
    decodeInto(wireFrame(0x84, 1, AccessRead, {0xFE, 0xFF, 0x58, 0x02}));
    int16_t minimum = 0, maximum = 0;
    FrameElement e[2] = {element(ElementS16, 2, &minimum), element(ElementS16, 2, &maximum)};
    FrameMessage m{nullptr, e, 2, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(minimum, -2);
    EXPECT_EQ(maximum, 600);
}

TEST_F(DecoderTest, LongNameIsTruncatedToTheBufferWithATerminator)
{
    decodeInto(wireFrame(0x80, 1, AccessRead, textPayload("ABCDEFGHIJKLMNOPQRST")), 5);
    char name[8];
    std::memset(name, '#', sizeof(name));
    FrameElement e = element(ElementText, 8, name, "name");
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_STREQ(name, "ABCDEFG");
}

TEST_F(DecoderTest, ShortNameIsCopiedWholeAndTheNextElementFollowsItsTerminator)
{
    Bytes payload = textPayload("Stage");
    payload.push_back(0x2A);
    decodeInto(wireFrame(0x80, 1, AccessRead, payload));
    char name[32];
    std::memset(name, '#', sizeof(name));
    uint8_t next = 0;
    FrameElement e[2] = {element(ElementText, 32, name), element(ElementU8, 1, &next)};
    FrameMessage m{nullptr, e, 2, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_STREQ(name, "Stage");
    EXPECT_EQ(name[31], 0);
    EXPECT_EQ(next, 0x2A);
}

TEST_F(DecoderTest, TextIntoAZeroSizedBufferWritesNothing)
{
    decodeInto(wireFrame(0x80, 1, AccessRead, textPayload("Stage")));
    char guard = '#';
    FrameElement e = element(ElementText, 0, &guard);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(guard, '#');
}

TEST_F(DecoderTest, PointerElementsPointIntoTheRetainedFrame)
{
    Bytes payload{0x34, 0x12};
    const Bytes name = textPayload("CO2 Sensor");
    payload.insert(payload.end(), name.begin(), name.end());
    payload.insert(payload.end(), {0xAA, 0xBB, 0xCC});
    payload.push_back(0x07);
    Frame *out = decodeInto(wireFrame(0x80, 4, AccessRead, payload), 4);

    uint8_t copied = 0;
    FrameElement e[4] = {element(ElementS16, 99, nullptr), element(ElementText, 0, nullptr),
                         element(ElementRaw, 3, nullptr), element(ElementU8, 1, &copied)};
    FrameMessage m{nullptr, e, 4, nullptr, 0};
    ASSERT_EQ(decoder.extract(&m), StatusOk);
    ASSERT_EQ(m.retained, out) << "the output frame is handed over";
    EXPECT_EQ(rx->inUse(), 1);
    EXPECT_EQ(e[0].length, 2) << "a fixed pointer element gets the size of its type";
    EXPECT_EQ(e[0].data, out->data() + 5);
    EXPECT_EQ(readLe16(static_cast<uint8_t *>(e[0].data)), 0x1234);
    EXPECT_EQ(e[1].data, out->data() + 7);
    EXPECT_STREQ(static_cast<const char *>(e[1].data), "CO2 Sensor");
    EXPECT_EQ(e[2].data, out->data() + 7 + 11);
    EXPECT_EQ(static_cast<uint8_t *>(e[2].data)[2], 0xCC);
    EXPECT_EQ(copied, 0x07);
    EXPECT_EQ(decoder.outputFrame(), nullptr);
    giveBack(m.retained);
}

TEST_F(DecoderTest, RawElementIsCopiedByItsLength)
{
    decodeInto(wireFrame(0x90, 1, AccessRead, {1, 2, 3, 4, 5}));
    uint8_t raw[4] = {};
    FrameElement e = element(ElementRaw, 4, raw);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ((Bytes(raw, raw + 4)), (Bytes{1, 2, 3, 4}));
}

TEST_F(DecoderTest, ElementTypeOutsideTheTableGives6AndTheHolderKeepsTheFrame)
{
    Frame *out = decodeInto(wireFrame(0x81, 1, AccessRead, {0x72, 0x01, 0x05}));
    int16_t value = -1;
    uint8_t other = 9;
    FrameElement e[2] = {element(ElementS16, 2, &value), element(0x03, 1, &other)};
    FrameMessage m{nullptr, e, 2, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusBadElementType);
    EXPECT_EQ(decoder.state(), DecoderError);
    EXPECT_EQ(decoder.status(), StatusBadElementType);
    EXPECT_EQ(value, -1) << "nothing is copied from a refused response";
    EXPECT_EQ(other, 9);
    EXPECT_EQ(decoder.outputFrame(), out);
    EXPECT_EQ(rx->inUse(), 1);
    giveBack(out); // the holder releases it, as after every failure
}

// --- Mend: a payload shorter than the elements --------------------------------------------------

TEST_F(DecoderTest, TextWithoutTerminatorInsideThePayloadIsRefusedWith22)
{
    // "Stage" without its NUL. The fresh output frame is zero-filled after the frame's last byte,
    // where a scan that ignores L would find a terminator.
    const Bytes wire = wireFrame(0x80, 1, AccessRead, {'S', 't', 'a', 'g', 'e'});
    Frame *out = decodeInto(wire);
    ASSERT_EQ(out->data()[out->length], 0);
    char name[16];
    std::memset(name, '#', sizeof(name));
    FrameElement e = element(ElementText, 16, name);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusShortPayload);
    EXPECT_EQ(decoder.state(), DecoderError);
    EXPECT_EQ(name[0], '#');
    giveBack(out);
}

TEST_F(DecoderTest, TextPointerWithoutTerminatorInsideThePayloadIsRefusedWith22)
{
    Frame *out = decodeInto(wireFrame(0x80, 1, AccessRead, {'A'}));
    FrameElement e = element(ElementText, 0, nullptr);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusShortPayload);
    EXPECT_EQ(e.data, nullptr);
    EXPECT_EQ(m.retained, nullptr);
    giveBack(out);
}

TEST_F(DecoderTest, FixedElementBeyondThePayloadIsRefusedWith22)
{
    Frame *out = decodeInto(wireFrame(0x84, 1, AccessRead, {0xFE, 0xFF, 0x58}));
    int16_t minimum = 1, maximum = 2;
    FrameElement e[2] = {element(ElementS16, 2, &minimum), element(ElementS16, 2, &maximum)};
    FrameMessage m{nullptr, e, 2, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusShortPayload);
    EXPECT_EQ(minimum, 1);
    EXPECT_EQ(maximum, 2);
    giveBack(out);
    decoder.reset();

    out = decodeInto(wireFrame(0x81, 1, AccessRead, {}));
    FrameElement pointer = element(ElementS16, 0, nullptr);
    FrameMessage p{nullptr, &pointer, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&p), StatusShortPayload);
    EXPECT_EQ(pointer.data, nullptr);
    giveBack(out);
}

TEST_F(DecoderTest, RawElementBeyondThePayloadIsRefusedWith22)
{
    Frame *out = decodeInto(wireFrame(0x90, 1, AccessRead, {1, 2, 3}));
    uint8_t raw[4] = {9, 9, 9, 9};
    FrameElement e = element(ElementRaw, 4, raw);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusShortPayload);
    EXPECT_EQ(raw[0], 9);
    giveBack(out);
}

TEST_F(DecoderTest, ShortPayloadRefusalLeavesTheHeaderUntouchedAndTheNextCycleWorks)
{
    Frame *out = decodeInto(wireFrame(0x81, 1, AccessRead, {0x01}));
    FrameHeader header{1, 0x81, 1, AccessRead};
    int16_t value = 5;
    FrameElement e = element(ElementS16, 2, &value);
    FrameMessage m{&header, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusShortPayload);
    EXPECT_EQ(header.command, 0x81);
    EXPECT_EQ(decoder.outputFrame(), out) << "the holder still has it to give back";
    giveBack(out);
    decoder.reset();
    EXPECT_EQ(rx->inUse(), 0);

    decodeInto(wireFrame(0x81, 1, AccessRead, {0x01, 0x00}));
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(value, 1);
}

TEST_F(DecoderTest, PayloadLongerThanTheElementsIsAccepted)
{
    decodeInto(wireFrame(0x85, 1, AccessRead, {0x01, 0xEE, 0xEE}));
    uint8_t control = 0;
    FrameElement e = element(ElementU8, 1, &control);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(control, 1);
}

// --- States and null arguments -----------------------------------------------------------------

TEST_F(DecoderTest, BeginOutsideIdleGives18AndBeginWithNullGives12)
{
    Frame *out = lend(*rx);
    ASSERT_EQ(decoder.begin(out), StatusOk);
    EXPECT_EQ(decoder.state(), DecoderNeedsInput);
    EXPECT_EQ(decoder.begin(out), StatusWrongState);
    EXPECT_EQ(decoder.state(), DecoderError);
    EXPECT_EQ(decoder.status(), StatusWrongState);
    decoder.reset();
    EXPECT_EQ(decoder.begin(nullptr), StatusNullArgument);
    EXPECT_EQ(decoder.state(), DecoderError);
    giveBack(out);
}

TEST_F(DecoderTest, SupplyOutsideNeedsInputGives18AndLeavesTheFrameWithTheCaller)
{
    Frame *in = lend(*rx);
    EXPECT_EQ(decoder.supply(in), StatusWrongState);
    EXPECT_EQ(decoder.state(), DecoderError);
    EXPECT_EQ(decoder.inputFrame(), nullptr);
    EXPECT_EQ(rx->inUse(), 1);
    giveBack(in);
}

TEST_F(DecoderTest, SupplyWithNullGives12)
{
    Frame *out = lend(*rx);
    ASSERT_EQ(decoder.begin(out), StatusOk);
    EXPECT_EQ(decoder.supply(nullptr), StatusNullArgument);
    EXPECT_EQ(decoder.state(), DecoderError);
    giveBack(out);
}

TEST_F(DecoderTest, SupplyTwiceWithoutDecodeIsAWrongState)
{
    Frame *out = lend(*rx);
    ASSERT_EQ(decoder.begin(out), StatusOk);
    Frame *a = lend(*rx);
    Frame *b = lend(*rx);
    a->length = 0;
    EXPECT_EQ(decoder.supply(a), StatusOk);
    EXPECT_EQ(decoder.supply(b), StatusWrongState);
    decoder.reset(); // gives `a` back
    giveBack(b);
    giveBack(out);
}

TEST_F(DecoderTest, ExtractOutsideFrameReadyGives18AndWithNullGives12)
{
    FrameMessage m{nullptr, nullptr, 0, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusWrongState);
    EXPECT_EQ(decoder.state(), DecoderError);
    decoder.reset();

    Frame *out = decodeInto(wireFrame(0x14, 0, AccessRead, {0}));
    EXPECT_EQ(decoder.extract(nullptr), StatusNullArgument);
    EXPECT_EQ(decoder.state(), DecoderError);
    giveBack(out);
    decoder.reset();

    out = decodeInto(wireFrame(0x14, 0, AccessRead, {0}));
    FrameMessage noElements{nullptr, nullptr, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&noElements), StatusNullArgument);
    giveBack(out);
}

TEST_F(DecoderTest, DecodeOutsideHasInputReturnsTheStateUnchanged)
{
    EXPECT_EQ(decoder.decode(), DecoderIdle);
    Frame *out = lend(*rx);
    ASSERT_EQ(decoder.begin(out), StatusOk);
    EXPECT_EQ(decoder.decode(), DecoderNeedsInput);
    EXPECT_EQ(decoder.state(), DecoderNeedsInput);
    giveBack(out);
}

TEST_F(DecoderTest, InputFrameLengthBeyondItsCapacityIsNotReadPast)
{
    auto small = makePool(1, 8);
    Frame *out = lend(*rx);
    ASSERT_EQ(decoder.begin(out), StatusOk);
    Frame *in = lend(*small);
    std::memset(in->data(), 0x11, 8);
    in->length = 10000;
    ASSERT_EQ(decoder.supply(in), StatusOk);
    EXPECT_EQ(decoder.decode(), DecoderNeedsInput);
    EXPECT_EQ(small->inUse(), 0) << "the input frame went back to its own pool";
    giveBack(out);
}

TEST_F(DecoderTest, ExhaustedPoolGivesNullAndEveryCycleReturnsItsFrames)
{
    // Output frame plus three input frames in flight at most: four frames suffice.
    Frame *out = lend(*rx);
    ASSERT_EQ(decoder.begin(out), StatusOk);
    Frame *others[3];
    for (auto &frame : others) {
        frame = lend(*rx);
        ASSERT_NE(frame, nullptr);
    }
    EXPECT_EQ(rx->acquire(), nullptr);
    for (auto &frame : others) {
        giveBack(frame);
    }
    // A long response in single bytes never needs more than two frames at once.
    const Bytes wire = wireFrame(0x80, 1, AccessRead, textPayload(std::string(200, 'n')));
    size_t offset = 0;
    const DecodeRun run = feed(decoder, *rx, out, wire, 1, &offset);
    EXPECT_EQ(run.state, DecoderFrameReady);
    EXPECT_EQ(rx->inUse(), 1);
    char name[32];
    FrameElement e = element(ElementText, 32, name);
    FrameMessage m{nullptr, &e, 1, nullptr, 0};
    EXPECT_EQ(decoder.extract(&m), StatusOk);
    EXPECT_EQ(std::string(name), std::string(31, 'n'));
}
