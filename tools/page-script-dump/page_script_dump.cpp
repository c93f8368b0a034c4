// page_script_dump positions|seed|neutraliser|evaluation|studio < text
#include <iostream>
#include <iterator>
#include <string>

#include "overlay/page_scripts.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string kind = argv[1];
  const std::string text((std::istreambuf_iterator<char>(std::cin)),
                         std::istreambuf_iterator<char>());
  if (kind == "positions")
    std::cout << BuildPositionsPushScript(text);
  else if (kind == "seed")
    std::cout << BuildKeySeedingScript(text);
  else if (kind == "neutraliser")
    std::cout << BuildBeforeUnloadNeutraliser();
  else if (kind == "evaluation")
    std::cout << BuildEvaluationCallScript();
  else if (kind == "studio")
    std::cout << BuildStudioPageHtml();
  else
    return 2;
  return 0;
}
