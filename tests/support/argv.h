// A mutable argument vector built from string literals, as the runtime hands one over.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

class Argv {
public:
    Argv(std::initializer_list<std::string> arguments) : strings_(arguments) {
        strings_.insert(strings_.begin(), "quorvin");
        for (std::string& s : strings_) {
            pointers_.push_back(s.data());
        }
        pointers_.push_back(nullptr);
    }
    explicit Argv(const std::vector<std::string>& arguments)
        : Argv(std::initializer_list<std::string>{}) {
        strings_.insert(strings_.end(), arguments.begin(), arguments.end());
        pointers_.clear();
        for (std::string& s : strings_) {
            pointers_.push_back(s.data());
        }
        pointers_.push_back(nullptr);
    }

    int argc() const { return static_cast<int>(strings_.size()); }
    char** argv() { return pointers_.data(); }
    const std::string& operator[](size_t i) const { return strings_[i]; }

private:
    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};
