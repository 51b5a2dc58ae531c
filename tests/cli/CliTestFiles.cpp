#include "CliTestFiles.h"

using namespace cli;

TempFolder::TempFolder() {
    std::random_device entropy;
    // create_directory is false when the name is taken: then try another.
    do
        path_ = std::filesystem::temp_directory_path() / ("velmora-cli-" + std::to_string(entropy()));
    while (!std::filesystem::create_directory(path_));
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    return names;
}

FilePtr fileWithBytes(const std::string& bytes) {
    FilePtr file(std::tmpfile());
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    return file;
}

void fillRandom(Y4mFrame& frame, int bits, std::mt19937& random) {
    const Y4mFrameLayout& layout = frame.layout();
    std::uniform_int_distribution<int> code(0, (1 << bits) - 1);
    for (int p = 0; p < layout.planes; ++p)
        for (int y = 0; y < layout.height[p]; ++y)
            for (int x = 0; x < layout.width[p]; ++x) {
                if (layout.sampleBytes == 1)
                    frame.row<uint8_t>(p, y)[x] = uint8_t(code(random));
                else
                    frame.row<uint16_t>(p, y)[x] = uint16_t(code(random));
            }
}
