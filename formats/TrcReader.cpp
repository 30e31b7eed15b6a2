#include "formats/TrcReader.h"

#include <bit>
#include <cstring>

#include "formats/ByteFields.h"

namespace kestrava {
namespace {

constexpr char kBlockName[] = "WAVEDESC";
constexpr char kTemplate[] = "LECROY_2_3";

// WAVEDESC offsets.
constexpr std::size_t kTemplateName = 16;
constexpr std::size_t kCommType = 32;
constexpr std::size_t kCommOrder = 34;
constexpr std::size_t kWaveDescriptor = 36;
constexpr std::size_t kUserText = 40;
constexpr std::size_t kTrigTimeArray = 48;
constexpr std::size_t kRisTimeArray = 52;
constexpr std::size_t kWaveArray1 = 60;
constexpr std::size_t kWaveArrayCount = 116;
constexpr std::size_t kSubarrayCount = 144;
constexpr std::size_t kVerticalGain = 156;
constexpr std::size_t kVerticalOffset = 160;
constexpr std::size_t kHorizInterval = 176;
constexpr std::size_t kHorizOffset = 180;

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

long TrcReader::DescriptorStart(std::span<const unsigned char> head) {
    std::size_t start = 0;
    if (!head.empty() && head[0] == '#') {
        // A definite-length block: '#', the digit count, that many digits.
        if (head.size() < 2 || !IsDigit(head[1]) || head[1] == '0') return -1;
        start = 2 + static_cast<std::size_t>(head[1] - '0');
        for (std::size_t i = 2; i < start; ++i)
            if (i >= head.size() || !IsDigit(head[i])) return -1;
    }
    if (head.size() < start + sizeof kBlockName - 1 ||
        std::memcmp(head.data() + start, kBlockName, sizeof kBlockName - 1) != 0)
        return -1;
    return static_cast<long>(start);
}

bool TrcReader::Recognizes(std::span<const unsigned char> head) {
    const long start = DescriptorStart(head);
    return start >= 0 && head.size() >= static_cast<std::size_t>(start) + kTemplateName + 8 &&
           std::memcmp(head.data() + start + kTemplateName, "LECROY_2", 8) == 0;
}

std::string TrcReader::Parse(const FileView& file, Layout& layout) {
    const long start = DescriptorStart(file.Read(0, kSignatureSize));
    if (start < 0) return "no WAVEDESC block at the start of the file";
    const std::vector<unsigned char> block = file.Read(start, kDescriptorSize);
    if (block.size() < kDescriptorSize) return "the file ends inside its WAVEDESC block";
    const unsigned char order0 = block[kCommOrder], order1 = block[kCommOrder + 1];
    // COMM_ORDER is 0 (high byte first) or 1 (low byte first), which either order reads.
    if (!((order0 == 0 && order1 == 0) || (order0 == 1 && order1 == 0)))
        return "COMM_ORDER is neither 0 nor 1";
    const ByteFields f(block, order0 == 0);
    if (const std::string name = f.Text(kTemplateName, 16); name != kTemplate)
        return "template '" + name + "', not " + kTemplate;

    RecordDescription& r = layout.record;
    const auto commType = f.Get<std::int16_t>(kCommType);
    if (commType != 0 && commType != 1)
        return "COMM_TYPE " + std::to_string(commType) + " is neither 0 (8-bit) nor 1 (16-bit)";
    r.format = commType == 0 ? SampleFormat::Int8 : SampleFormat::Int16;
    r.sampleSize = commType == 0 ? 1 : 2;
    r.rawReversed = (order0 == 0) != (std::endian::native == std::endian::big);

    const std::int64_t lengths[] = {
        f.Get<std::int32_t>(kWaveDescriptor), f.Get<std::int32_t>(kUserText),
        f.Get<std::int32_t>(kTrigTimeArray), f.Get<std::int32_t>(kRisTimeArray)};
    if (lengths[0] < static_cast<std::int64_t>(kDescriptorSize))
        return "WAVE_DESCRIPTOR of " + std::to_string(lengths[0]) + " bytes is shorter than 346";
    layout.dataOffset = start;
    for (std::int64_t length : lengths) {
        if (length < 0) return "a block length is negative";
        layout.dataOffset += length;
    }

    const std::int64_t arrayBytes = f.Get<std::int32_t>(kWaveArray1);
    const std::int64_t count = f.Get<std::int32_t>(kWaveArrayCount);
    if (arrayBytes != count * r.sampleSize)
        return "WAVE_ARRAY_1 of " + std::to_string(arrayBytes) + " bytes and WAVE_ARRAY_COUNT " +
               std::to_string(count) + " disagree";
    r.count = count;
    const std::int32_t segments = f.Get<std::int32_t>(kSubarrayCount);
    if (segments > 1) {
        r.count = count / segments;
        layout.note = "a sequence of " + std::to_string(segments) + " segments; the first is read";
    }
    r.scale = f.Get<float>(kVerticalGain);
    r.offset = -static_cast<double>(f.Get<float>(kVerticalOffset));
    r.sampleIntervalS = f.Get<float>(kHorizInterval);
    r.firstPointTimeS = f.Get<double>(kHorizOffset);
    return {};
}

}  // namespace kestrava
