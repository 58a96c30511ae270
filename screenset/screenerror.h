// EScreenSet: the error of the uploader's logic. Its message is plain English
// text for the user and names the file or value that was refused.
#pragma once

#include <stdexcept>
#include <string>

class EScreenSet : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
