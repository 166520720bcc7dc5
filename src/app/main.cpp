#include "app/application.h"

int main(int argc, char** argv) { morvane::RunApplication(argc, argv); }
