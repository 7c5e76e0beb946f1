// Seeds of fuzz_regscript: registration scripts using every construct.
//   fuzz_seeds_regscriptseeds <dir>  ->  <dir>/regscript/*
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / "regscript";
    std::filesystem::create_directories(dir);
    const char* const seeds[] = {
        "HKCR\n{\n\tForceRemove .ext = s 'ExtFile'\n\t{\n\t\tval 'Content Type' = s 'application/x-ext'\n\t}\n"
        "\tRemove ExtFile = s 'Ext file'\n\t{\n\t\tDefaultIcon = s '%MODULE%,0'\n"
        "\t\tshell\\open\\command = s 'rundll32 %MODULE%,Show \"%%1\"'\n\t}\n}\n",
        "HKCR\n{\n\tNoRemove CLSID\n\t{\n\t\tForceRemove {11111111-2222-3333-4444-555555555555} = s 'Thing'\n\t\t{\n"
        "\t\t\tDelete 'Implemented Categories'\n\t\t\tProgID = s 'Thing.1'\n"
        "\t\t\tInprocServer32 = s '%MODULE%'\n\t\t\t{\n\t\t\t\tval ThreadingModel = s 'Apartment'\n\t\t\t}\n"
        "\t\t\tControl\n\t\t\t'MiscStatus' = s '0'\n\t\t\t{\n\t\t\t\t'1' = s '131473'\n\t\t\t}\n"
        "\t\t\tTypeLib = s '%CLSID%'\n\t\t\tVersion = s '1.0'\n\t\t}\n\t}\n}\n",
        "HKCU { Software\\Maker\\Prog { val A = d 0x1F val B = d 42 val C = b 00ff10 val D = e '%%TEMP%%' } }",
        "HKEY_LOCAL_MACHINE { NoRemove 'MIME' { NoRemove Database { 'Content Type' { x } } } } HKU {} HKCC { k }",
        "hkcr { noremove 'val' { val 'it''s' = s '\xc3\x9a&pravy,0,2' } }",
    };
    int n = 0;
    for (const char* s : seeds) {
        const std::string name = (dir / ("seed" + std::to_string(n++))).string();
        std::FILE* f = std::fopen(name.c_str(), "wb");
        if (!f) return 1;
        std::fputs(s, f);
        std::fclose(f);
    }
    return 0;
}
