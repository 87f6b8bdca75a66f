#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

#include "app/console.h"

namespace bramblewisp {

// A console whose two streams go to one temporary file of its own, so that
// tests on several threads each read back what theirs wrote.
class ConsoleTranscript {
  public:
    ConsoleTranscript() : file(std::tmpfile()), console(file, file) {
        if (file == nullptr) {
            throw std::runtime_error("no temporary file for the console");
        }
    }
    ~ConsoleTranscript() { std::fclose(file); }
    ConsoleTranscript(const ConsoleTranscript&) = delete;
    ConsoleTranscript& operator=(const ConsoleTranscript&) = delete;

    // Everything written so far.
    std::string text() {
        std::fflush(file);
        std::rewind(file);
        std::string all;
        for (int c; (c = std::fgetc(file)) != EOF;) {
            all += static_cast<char>(c);
        }
        return all;
    }

    std::FILE* const file;
    Console console;
};

} // namespace bramblewisp
