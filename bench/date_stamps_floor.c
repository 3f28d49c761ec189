/* The least any program can do for "file times from the shooting date": per photo, read its
 * first 64 KiB, find the DateTimeOriginal entry of the Exif block (no checks beyond that),
 * turn its text into a local time with mktime, one utimensat. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static unsigned get(const unsigned char *p, int n, int little) {
    unsigned v = 0;
    for (int i = 0; i < n; ++i)
        v = little ? v | (unsigned)p[i] << (8 * i) : v << 8 | p[i];
    return v;
}

/* The date's 19 characters in buf, or NULL. */
static const char *dateOf(const unsigned char *buf, size_t size) {
    const unsigned char *exif = memmem(buf, size, "Exif\0\0", 6);
    if (!exif || exif + 14 > buf + size)
        return NULL;
    const unsigned char *tiff = exif + 6;
    const int little = tiff[0] == 'I';
    const size_t rest = (size_t)(buf + size - tiff);
    /* The entry: tag 0x9003, type 2 (text), count 20, then the offset. */
    const unsigned char le[] = {0x03, 0x90, 2, 0, 20, 0, 0, 0};
    const unsigned char be[] = {0x90, 0x03, 0, 2, 0, 0, 0, 20};
    const unsigned char *entry = memmem(tiff, rest, little ? le : be, 8);
    if (!entry || entry + 12 > buf + size)
        return NULL;
    const unsigned offset = get(entry + 8, 4, little);
    return offset + 19 <= rest ? (const char *)tiff + offset : NULL;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const int dir = open(argv[1], O_RDONLY | O_DIRECTORY);
    DIR *list = dir < 0 ? NULL : fdopendir(dir);
    if (!list) {
        perror(argv[1]);
        return 1;
    }
    static unsigned char buf[65536];
    long files = 0, failed = 0;
    for (struct dirent *e; (e = readdir(list)) != NULL;) {
        if (e->d_type != DT_REG)
            continue;
        ++files;
        const int fd = openat(dir, e->d_name, O_RDONLY | O_NOATIME);
        const ssize_t got = fd < 0 ? -1 : read(fd, buf, sizeof buf);
        if (fd >= 0)
            close(fd);
        const char *date = got > 0 ? dateOf(buf, (size_t)got) : NULL;
        struct tm t = {0};
        if (!date || sscanf(date, "%4d:%2d:%2d %2d:%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                            &t.tm_hour, &t.tm_min, &t.tm_sec) != 6) {
            ++failed;
            continue;
        }
        t.tm_year -= 1900;
        t.tm_mon -= 1;
        t.tm_isdst = -1;
        const struct timespec times[2] = {{0, UTIME_OMIT}, {mktime(&t), 0}};
        if (utimensat(dir, e->d_name, times, 0) != 0)
            ++failed;
    }
    closedir(list);
    printf("floor: %ld files, %ld failed\n", files, failed);
    return failed == 0 ? 0 : 1;
}
