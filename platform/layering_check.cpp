// The program that each platform layer is linked into, whole and with only the layers it may use,
// so that a call into any other layer fails the link (see CMakeLists.txt beside this file).
int main() {
    return 0;
}
