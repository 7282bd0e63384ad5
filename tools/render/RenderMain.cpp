#include "RenderCommand.h"

#include <iostream>

int main(int argc, char* argv[])
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return runRenderCommand(arguments, std::cout, std::cerr);
}
