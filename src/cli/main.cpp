#include <cstdio>

int main() {
  std::puts("rurctl");
  return 0;
}
