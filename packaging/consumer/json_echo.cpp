// Parses its argument as JSON and prints it back in the library's compact form.
#include <waterline/json/VelJSON.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    waterline::VelJSON json;
    auto value = json.objectWithString(argv[1]);
    if (!value)
        return 1;
    auto text = json.stringWithObject(*value);
    if (!text)
        return 1;
    std::printf("%s\n", text->c_str());
    return 0;
}
