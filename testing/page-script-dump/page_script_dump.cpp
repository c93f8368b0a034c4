// page_script_dump neutraliser|studio
#include <iostream>
#include <string>

#include "overlay/page_scripts.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string kind = argv[1];
  if (kind == "neutraliser")
    std::cout << BuildBeforeUnloadNeutraliser();
  else if (kind == "studio")
    std::cout << BuildStudioPageHtml();
  else
    return 2;
  return 0;
}
