// Frame buffers the reference host hands out: the plug-in's own worlds (new
// world calls) and the host's frames (layer frames, render outputs). Each
// record remembers the pixel format, which a PF_EffectWorld does not carry.
//
// Rows are padded by a configurable number of bytes, and the padding is
// filled with a marker so that a write past a row's last pixel is noticed
// (paddingIntact). Pixels of a world that was not asked to be cleared start
// as a noise pattern, never as zeros.
//
// With recycling on (a host that plays long clips, as the velmora command
// does), the memory of destroyed frames is kept and handed to the next frame
// of the same size without the noise fill: its pixels start as whatever the
// last frame left, and no fresh pages are touched for every frame.
#pragma once

#include "refhost/PixelFormats.h"
#include "refhost/SpareStorage.h"
#include "sdk/AE_Effect.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace refhost {

class WorldStore {
public:
    static constexpr uint8_t kPaddingMarker = 0xA5;
    static constexpr uint8_t kNoiseSeed = 0x5B;

    enum class Owner { Plugin, Host };

    struct Record {
        PF_PixelFormat format = 0;
        A_long width = 0, height = 0, rowbytes = 0;
        Owner owner = Owner::Plugin;
        std::string key; // readable name, also the ledger key of plug-in worlds
        std::unique_ptr<uint8_t[]> storage;
    };

    explicit WorldStore(int rowPaddingBytes) : rowPadding_(rowPaddingBytes) {}

    // Fills `world` (extent hint = whole frame, origin 0, deep flag for
    // 16-bit formats) and returns 0; PF_Err_BAD_CALLBACK_PARAM for an unknown
    // format or a size below 1 (below 0 for the host's own), PF_Err_OUT_OF_MEMORY when the frame is too
    // large for 32-bit row bytes or the memory is not there.
    PF_Err create(A_long width, A_long height, PF_PixelFormat format, bool clear, Owner owner,
                  const std::string& what, PF_EffectWorld* world);
    // Forgets the frame whose data `world` points to; false when unknown.
    // `key` receives the record's key.
    bool destroy(const PF_EffectWorld* world, Owner owner, std::string* key = nullptr);

    // Copy of the facts of the frame holding `data` (storage left empty).
    bool describe(const void* data, PF_PixelFormat* format, A_long* width = nullptr,
                  A_long* height = nullptr, A_long* rowbytes = nullptr) const;
    // Empty for an unknown frame.
    std::string keyOf(const void* data) const;
    bool paddingIntact(const void* data) const;
    int count(Owner owner) const;

    void setRecycling(bool on);
    bool recycling() const { return spare_.on(); }

    A_long rowBytesFor(A_long width, PF_PixelFormat format) const;
    int rowPadding() const { return rowPadding_; }
    void setRowPadding(int bytes) { rowPadding_ = bytes; }

private:
    mutable std::mutex mutex_;
    std::map<const void*, Record> records_;
    // Storage of destroyed frames kept for reuse. A few frames of each size
    // in flight are enough for a render; at large sizes fewer, so that the
    // spares never hold gigabytes.
    SpareStorage spare_{8, uint64_t(512) << 20};
    int rowPadding_;
    int serial_ = 0;
};

} // namespace refhost
