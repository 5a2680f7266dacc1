// A folder of its own in the temporary folder, for one simulator root or one record of
// served reads: made empty, removed with everything in it when the object goes.
#pragma once

#include <string>

class PrivateFolder {
public:
    PrivateFolder();
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};
