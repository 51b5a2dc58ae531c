#include "refhost/WorldStore.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace refhost {

namespace {
constexpr uint64_t kAlignment = 32;
} // namespace

A_long WorldStore::rowBytesFor(A_long width, PF_PixelFormat format) const {
    const PixelFormatInfo* info = pixelFormatInfo(format);
    if (info == nullptr || width < 0)
        return 0;
    // Padding rounded up to whole channels, so float rows stay 4-byte aligned.
    const int64_t padding = (int64_t(rowPadding_ < 0 ? 0 : rowPadding_) + 3) / 4 * 4;
    const int64_t bytes = int64_t(width) * info->bytesPerPixel + padding;
    return bytes > std::numeric_limits<A_long>::max() ? 0 : A_long(bytes);
}

PF_Err WorldStore::create(A_long width, A_long height, PF_PixelFormat format, bool clear,
                          Owner owner, const std::string& what, PF_EffectWorld* world) {
    const PixelFormatInfo* info = pixelFormatInfo(format);
    // The host may make empty frames of its own (a zero-sized layer); the
    // plug-in may not ask for one.
    const A_long least = owner == Owner::Host ? 0 : 1;
    if (info == nullptr || world == nullptr || width < least || height < least)
        return PF_Err_BAD_CALLBACK_PARAM;
    const A_long rowbytes = rowBytesFor(width, format);
    if (rowbytes == 0 && width > 0)
        return PF_Err_OUT_OF_MEMORY;
    const uint64_t bytes = uint64_t(rowbytes) * uint64_t(height);
    if (bytes > (uint64_t(1) << 40))
        return PF_Err_OUT_OF_MEMORY;

    Record record;
    const size_t storageBytes = size_t(bytes + kAlignment);
    {
        std::lock_guard lock(mutex_);
        record.storage = spare_.take(storageBytes);
    }
    const bool recycled = record.storage != nullptr;
    if (!recycled)
        record.storage.reset(new (std::nothrow) uint8_t[storageBytes]);
    if (!record.storage)
        return PF_Err_OUT_OF_MEMORY;
    uint8_t* base = record.storage.get();
    uint8_t* data = base + (kAlignment - reinterpret_cast<uintptr_t>(base) % kAlignment) % kAlignment;

    const size_t pixelBytes = size_t(width) * size_t(info->bytesPerPixel);
    // Noise eight bytes at a time (a 64-bit linear congruential sequence):
    // a frame of 1080p float pixels is 33 MB.
    uint64_t noise = kNoiseSeed;
    for (A_long y = 0; y < height; ++y) {
        uint8_t* row = data + size_t(y) * size_t(rowbytes);
        if (clear) {
            std::memset(row, 0, pixelBytes);
        } else if (!recycled) {
            for (size_t i = 0; i < pixelBytes; i += 8) {
                noise = noise * 6364136223846793005u + 1442695040888963407u;
                const uint64_t bits = noise >> 8 | noise << 56;
                std::memcpy(row + i, &bits, std::min<size_t>(8, pixelBytes - i));
            }
        }
        std::memset(row + pixelBytes, kPaddingMarker, size_t(rowbytes) - pixelBytes);
    }

    record.format = format;
    record.width = width;
    record.height = height;
    record.rowbytes = rowbytes;
    record.owner = owner;

    std::lock_guard lock(mutex_);
    record.key = what + " #" + std::to_string(++serial_) + " " + std::to_string(width) + "x" +
                 std::to_string(height) + " " + pixelFormatName(format);
    *world = PF_EffectWorld{};
    world->world_flags =
        PF_WorldFlag_WRITEABLE | (info->depth == ChannelDepth::Bits16 ? PF_WorldFlag_DEEP : 0);
    world->data = reinterpret_cast<PF_PixelPtr>(data);
    world->rowbytes = rowbytes;
    world->width = width;
    world->height = height;
    world->extent_hint = PF_Rect{0, 0, width, height};
    world->pix_aspect_ratio = {1, 1};
    records_.emplace(data, std::move(record));
    return PF_Err_NONE;
}

bool WorldStore::destroy(const PF_EffectWorld* world, Owner owner, std::string* key) {
    if (world == nullptr)
        return false;
    std::lock_guard lock(mutex_);
    auto it = records_.find(world->data);
    if (it == records_.end() || it->second.owner != owner)
        return false;
    if (key != nullptr)
        *key = it->second.key;
    const Record& r = it->second;
    spare_.keep(size_t(uint64_t(r.rowbytes) * uint64_t(r.height) + kAlignment), std::move(it->second.storage));
    records_.erase(it);
    return true;
}

void WorldStore::setRecycling(bool on) {
    std::lock_guard lock(mutex_);
    spare_.setOn(on);
}

bool WorldStore::describe(const void* data, PF_PixelFormat* format, A_long* width, A_long* height,
                          A_long* rowbytes) const {
    std::lock_guard lock(mutex_);
    auto it = records_.find(data);
    if (it == records_.end())
        return false;
    if (format != nullptr)
        *format = it->second.format;
    if (width != nullptr)
        *width = it->second.width;
    if (height != nullptr)
        *height = it->second.height;
    if (rowbytes != nullptr)
        *rowbytes = it->second.rowbytes;
    return true;
}

std::string WorldStore::keyOf(const void* data) const {
    std::lock_guard lock(mutex_);
    auto it = records_.find(data);
    return it == records_.end() ? std::string() : it->second.key;
}

bool WorldStore::paddingIntact(const void* data) const {
    std::lock_guard lock(mutex_);
    auto it = records_.find(data);
    if (it == records_.end())
        return false;
    const Record& r = it->second;
    const size_t pixelBytes = size_t(r.width) * size_t(pixelFormatInfo(r.format)->bytesPerPixel);
    const uint8_t* first = static_cast<const uint8_t*>(data);
    for (A_long y = 0; y < r.height; ++y) {
        const uint8_t* row = first + size_t(y) * size_t(r.rowbytes);
        for (size_t i = pixelBytes; i < size_t(r.rowbytes); ++i)
            if (row[i] != kPaddingMarker)
                return false;
    }
    return true;
}

int WorldStore::count(Owner owner) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& [data, record] : records_)
        if (record.owner == owner)
            ++n;
    return n;
}

} // namespace refhost
