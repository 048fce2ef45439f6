/* Fetches one URL into one file the way Windows programs usually do:
   InternetOpenUrl and InternetReadFile. Prints the seconds it took and the
   bytes stored. usage: wininetget URL FILE */
#include <windows.h>
#include <wininet.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: wininetget URL FILE\n");
    return 2;
  }
  LARGE_INTEGER Freq, Start, End;
  QueryPerformanceFrequency(&Freq);
  QueryPerformanceCounter(&Start);
  HINTERNET Net = InternetOpenA("wininetget", INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
  if (!Net) return 1;
  HINTERNET Url = InternetOpenUrlA(Net, argv[1], NULL, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (!Url) {
    InternetCloseHandle(Net);
    return 1;
  }
  FILE* Out = fopen(argv[2], "wb");
  if (!Out) return 1;
  static char Buffer[65536];
  DWORD Got = 0;
  long long Total = 0;
  while (InternetReadFile(Url, Buffer, sizeof Buffer, &Got) && Got > 0) {
    fwrite(Buffer, 1, Got, Out);
    Total += Got;
  }
  fclose(Out);
  InternetCloseHandle(Url);
  InternetCloseHandle(Net);
  QueryPerformanceCounter(&End);
  printf("%.3f %lld\n", (double)(End.QuadPart - Start.QuadPart) / (double)Freq.QuadPart, Total);
  return 0;
}
