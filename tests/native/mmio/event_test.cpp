// The shared event decoder and the byte readers.
#include <algorithm>
#include "songtest.h"

using smf::Bytes;

class Decoder : public SongTest {};

TEST_F(Decoder, ByteReaders)
{
    const BYTE b[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
    EXPECT_EQ(getbyte(b), 0x12u);
    EXPECT_EQ(getword(b), 0x1234u);
    EXPECT_EQ(gettri(b), 0x123456u);
    EXPECT_EQ(getdword(b + 1), 0x3456789Au);
    EXPECT_EQ(getlong(b), 0x12345678u);
    EXPECT_EQ(getdword(nullptr) + getword(nullptr) + getbyte(nullptr) + gettri(nullptr), 0u);
    BYTE out[5] = {0, 0, 0, 0, 0xEE};
    setdword(out, 0xCAFEBABE);
    EXPECT_EQ(Bytes(out, out + 5), (Bytes{0xCA, 0xFE, 0xBA, 0xBE, 0xEE}));
}

TEST_F(Decoder, VariableLengthQuantities)
{
    struct { Bytes in; DWORD value; } ok[] = {
        {{0x00}, 0}, {{0x7F}, 127}, {{0x81, 0x00}, 128}, {{0xFF, 0x7F}, 0x3FFF}, {{0xFF, 0xFF, 0xFF, 0x7F}, 0x0FFFFFFF}};
    for (auto& c : ok) {
        const BYTE* p = c.in.data();
        DWORD v = 0;
        EXPECT_EQ(ReadVarLen(&p, c.in.data() + c.in.size(), &v), 1);
        EXPECT_EQ(v, c.value);
        EXPECT_EQ(p, c.in.data() + c.in.size());
    }
    Bytes five = {0x81, 0x81, 0x81, 0x81, 0x01};
    Bytes cut = {0x81, 0x81};
    for (const Bytes* b : {&five, &cut}) {
        const BYTE* p = b->data();
        DWORD v = 0;
        EXPECT_EQ(ReadVarLen(&p, b->data() + b->size(), &v), 0);
        EXPECT_EQ(p, b->data());
    }
}

TEST_F(Decoder, GeteventCodesValuesAndText)
{
    smf::Track t;
    t.NoteOn(0x81, 3, 60, 100).Data(0, {60, 0}).NoteOff(0, 3, 1, 2).Controller(0, 4, 7, 99).Controller(0, 4, 10, 33)
        .Controller(0, 4, 64, 1).Program(0, 5, 24).Channel(0, 0xD5, {1}).Channel(0, 0xA5, {1, 2}).PitchBend(0, 5, 0, 64)
        .Sysex(0, {1, 2, 3}).Name(0, std::string(300, 'q')).Text(0, "t").End();
    BYTE* p = t.data.data();
    BYTE* end = p + t.data.size();
    char text[260];
    int value = -1, channel = -1;
    struct { int code; int text0; int value; int channel; } want[] = {
        {EV_NOTEON, 0, -1, 3}, {EV_NOTEON, 1, -1, 3}, {EV_NOTEOFF, 0, -1, 3}, {EV_VOLUME, 0, 99, 4}, {EV_PAN, 0, 33, 4},
        {EV_OTHER, 0, 1, 4}, {EV_PROGRAM, 0, 24, 5}, {EV_OTHER, 0, 24, 5}, {EV_OTHER, 0, 24, 5}, {EV_OTHER, 0, 24, 5}};
    for (auto& w : want) {
        int code = getevent(&p, end, text, &value, &channel);
        EXPECT_EQ(code, w.code);
        EXPECT_EQ(text[0], w.text0);
        EXPECT_EQ(value, w.value);
        EXPECT_EQ(channel, w.channel);
    }
    EXPECT_EQ(getevent(&p, end, text, &value, &channel), EV_OTHER);   // sysex
    EXPECT_EQ(getevent(&p, end, text, &value, &channel), EV_NAME);
    EXPECT_EQ(std::string(text), std::string(259, 'q'));
    EXPECT_EQ(getevent(&p, end, text, &value, &channel), EV_OTHER);
    EXPECT_EQ(getevent(&p, end, text, &value, &channel), EV_END);
    EXPECT_EQ(p, end);
    // The channel status survives the meta events: data bytes now continue E5.
    EXPECT_EQ(*SharedRunningStatus(), 0xE5);
}

TEST_F(Decoder, NeverPastTheEnd)
{
    // Each prefix of a valid event stream is decoded without reading its missing bytes
    // (the sanitizers watch the copy on the heap).
    smf::Track t;
    t.NoteOn(0x4000, 0, 60, 100).Program(0, 1, 2).Sysex(0, Bytes(200, 1)).Meta(0, 0x7F, Bytes(130, 2)).Name(0, "abc").End();
    std::vector<size_t> boundaries;
    {
        BYTE* p = t.data.data();
        BYTE* end = p + t.data.size();
        while (p < end) {
            boundaries.push_back((size_t)(p - t.data.data()));
            ASSERT_NE(getevent(&p, end, nullptr, nullptr, nullptr), EV_CUT);
        }
    }
    for (size_t n = 1; n < t.data.size(); ++n) {
        std::vector<BYTE> copy(t.data.begin(), t.data.begin() + n);   // exactly n bytes on the heap
        BYTE* p = copy.data();
        BYTE* end = p + n;
        *SharedRunningStatus() = 0;
        int last = 0;
        while (p < end) {
            BYTE* before = p;
            last = getevent(&p, end, nullptr, nullptr, nullptr);
            ASSERT_GT(p, before);
            ASSERT_LE(p, end);
        }
        bool onBoundary = std::find(boundaries.begin(), boundaries.end(), n) != boundaries.end();
        EXPECT_EQ(last == EV_CUT, !onBoundary) << n;
    }
}

TEST_F(Decoder, UndecodableStatuses)
{
    Bytes b = {0x00, 0xF1, 0x90, 0x3C, 0x40};
    BYTE* p = b.data();
    char text[260];
    EXPECT_EQ(getevent(&p, b.data() + b.size(), text, nullptr, nullptr), EV_BAD);
    EXPECT_EQ(p, b.data() + 2);   // past the status byte only
    *SharedRunningStatus() = 0;
    Bytes d = {0x00, 0x3C, 0x40, 0x10, 0x90};
    p = d.data();
    EXPECT_EQ(getevent(&p, d.data() + d.size(), text, nullptr, nullptr), EV_BAD);
    EXPECT_EQ(p, d.data() + 4);   // up to the next status byte
    EXPECT_EQ(text[0], 1);

    MIDIEVENT ev;
    BYTE running = 0;
    Bytes e = {0x83, 0x60, 0xF7, 0x02, 0x01, 0x02};
    ASSERT_EQ(DecodeEvent(e.data(), e.data() + e.size(), &running, &ev), DECODE_OK);
    EXPECT_EQ(ev.dwDelta, 0x1E0u);
    EXPECT_EQ(ev.bStatus, 0xF7);
    EXPECT_EQ(ev.cbData, 2u);
    EXPECT_EQ(ev.pData, e.data() + 4);
    EXPECT_EQ(ev.pNext, e.data() + e.size());
    EXPECT_EQ(running, 0);
}
