// tjoin <inputfile> <outputfile>: joins the tables of the input file and writes
// them, with their join, to the output file.

#include <iostream>

#include "driver/run.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cout << "Usage: tjoin <inputfile> <outputfile>\n";
    return tjoin::ExitUsage;
  }
  return tjoin::run(argv[1], argv[2]);
}
