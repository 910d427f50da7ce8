// talvinor: the voice recorder and player's window program.
#include "app/Application.h"

int main(int argc, char** argv) { return talvinor::Application::Main(argc, argv); }
