// Argument vectors from fuzz input: arguments separated by NUL bytes, after a program
// path, as the runtime would hand them over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class FuzzArguments {
public:
    FuzzArguments(const uint8_t* data, size_t size, std::vector<std::string> leading) {
        arguments_ = std::move(leading);
        arguments_.insert(arguments_.begin(), "quorvin");
        std::string current;
        for (size_t i = 0; i < size; ++i) {
            if (data[i] == '\0') {
                arguments_.push_back(current);
                current.clear();
            } else {
                current += static_cast<char>(data[i]);
            }
        }
        arguments_.push_back(current);
        pointers_.reserve(arguments_.size() + 1);
        for (std::string& argument : arguments_) {
            pointers_.push_back(argument.data());
        }
        pointers_.push_back(nullptr);
    }

    // Keeps file names inside the current folder: a slash or backslash after an
    // argument's first character becomes an underscore.
    void KeepPathsLocal() {
        for (std::string& argument : arguments_) {
            for (size_t i = 1; i < argument.size(); ++i) {
                if (argument[i] == '/' || argument[i] == '\\') {
                    argument[i] = '_';
                }
            }
        }
    }

    int argc() const { return static_cast<int>(arguments_.size()); }
    char** argv() { return pointers_.data(); }
    const std::vector<char*>& pointers() const { return pointers_; }

private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;
};
