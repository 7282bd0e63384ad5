#include "PackAssetsCommand.h"

#include <juce_core/juce_core.h>

#include <iostream>

int main(int argc, char* argv[])
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return runPackAssetsCommand(arguments, std::cout, std::cerr);
}
