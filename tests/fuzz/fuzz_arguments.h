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
        Point();
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

    // Leaves out the switches with one of these letters (either case): a capture that
    // ends by itself (-t, -w) runs as long as it was asked to, also with no input.
    void DropSwitches(const char* letters) {
        std::vector<std::string> kept;
        for (size_t i = 0; i < arguments_.size(); ++i) {
            const std::string& argument = arguments_[i];
            const bool isSwitch =
                i > 0 && argument.size() >= 2 && (argument[0] == '-' || argument[0] == '/');
            bool dropped = false;
            for (const char* letter = letters; isSwitch && *letter != '\0'; ++letter) {
                dropped = dropped || (argument[1] | 0x20) == (*letter | 0x20);
            }
            if (!dropped) {
                kept.push_back(argument);
            }
        }
        arguments_ = std::move(kept);
        Point();
    }

    int argc() const { return static_cast<int>(arguments_.size()); }
    char** argv() { return pointers_.data(); }
    const std::vector<char*>& pointers() const { return pointers_; }

private:
    // The argument vector the runtime would hand over: a pointer to each, then null.
    void Point() {
        pointers_.clear();
        for (std::string& argument : arguments_) {
            pointers_.push_back(argument.data());
        }
        pointers_.push_back(nullptr);
    }

    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;
};
