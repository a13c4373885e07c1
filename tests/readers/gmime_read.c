/* GMime as an independent reader of mbox files, or with --eml of files that hold one
 * message each: every message, one JSON object a line, with its header names, the
 * decoded subject, the sender and recipients (name and address), every attachment
 * (file name, type and the SHA-256 of its decoded content), the type of every part
 * in order, and every defect the parser reported (its warning code and the item). */
#include <gmime/gmime.h>
#include <stdio.h>
#include <string.h>

static void append_string(GString *out, const char *text)
{
    g_string_append_c(out, '"');
    for (const unsigned char *c = (const unsigned char *)(text ? text : ""); *c; ++c) {
        if (*c == '"' || *c == '\\')
            g_string_append_printf(out, "\\%c", *c);
        else if (*c < 0x20)
            g_string_append_printf(out, "\\u%04x", *c);
        else
            g_string_append_c(out, (char)*c);
    }
    g_string_append_c(out, '"');
}

static void print_string(const char *text)
{
    GString *out = g_string_new(NULL);
    append_string(out, text);
    fputs(out->str, stdout);
    g_string_free(out, TRUE);
}

static void print_addresses(InternetAddressList *list)
{
    putchar('[');
    int printed = 0;
    for (int i = 0; list && i < internet_address_list_length(list); ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            /* A group's members count as recipients too. */
            InternetAddressList *members = internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
            for (int m = 0; m < internet_address_list_length(members); ++m) {
                InternetAddress *member = internet_address_list_get_address(members, m);
                if (!INTERNET_ADDRESS_IS_MAILBOX(member))
                    continue;
                printf(printed++ ? ",[" : "[");
                print_string(internet_address_get_name(member));
                putchar(',');
                print_string(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(member)));
                putchar(']');
            }
            continue;
        }
        printf(printed++ ? ",[" : "[");
        print_string(internet_address_get_name(address));
        putchar(',');
        print_string(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
        putchar(']');
    }
    putchar(']');
}

static void print_headers(GMimeObject *object)
{
    GMimeHeaderList *headers = g_mime_object_get_header_list(object);
    putchar('[');
    for (int i = 0; i < g_mime_header_list_get_count(headers); ++i) {
        if (i)
            putchar(',');
        print_string(g_mime_header_get_name(g_mime_header_list_get_header_at(headers, i)));
    }
    putchar(']');
}

static void print_attachments(GMimeMessage *message)
{
    putchar('[');
    int printed = 0;
    GMimePartIter *iter = g_mime_part_iter_new(g_mime_message_get_mime_part(message));
    if (g_mime_message_get_mime_part(message)) {
        do {
            GMimeObject *current = g_mime_part_iter_get_current(iter);
            if (!current || !GMIME_IS_PART(current) || !g_mime_part_is_attachment(GMIME_PART(current)))
                continue;
            GMimePart *part = GMIME_PART(current);
            GMimeStream *content = g_mime_stream_mem_new();
            GMimeDataWrapper *wrapper = g_mime_part_get_content(part);
            if (wrapper)
                g_mime_data_wrapper_write_to_stream(wrapper, content);
            GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(content));
            gchar *digest = g_compute_checksum_for_data(G_CHECKSUM_SHA256, bytes->data, bytes->len);
            gchar *type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(current));
            printf(printed++ ? ",{\"name\":" : "{\"name\":");
            print_string(g_mime_part_get_filename(part));
            printf(",\"type\":");
            print_string(type);
            printf(",\"sha256\":");
            print_string(digest);
            printf(",\"headers\":");
            print_headers(current);
            putchar('}');
            g_free(type);
            g_free(digest);
            g_object_unref(content);
        } while (g_mime_part_iter_next(iter));
    }
    g_mime_part_iter_free(iter);
    putchar(']');
}

/* The parser's warnings about the message being read, as JSON objects. */
static GString *defects;

static void note_defect(gint64 offset, GMimeParserWarning code, const gchar *item, gpointer unused)
{
    (void)offset;
    (void)unused;
    g_string_append_printf(defects, "%s{\"code\":%d,\"item\":", defects->len ? "," : "", (int)code);
    append_string(defects, item);
    g_string_append_c(defects, '}');
}

static void print_part_type(GMimeObject *parent, GMimeObject *part, gpointer printed)
{
    (void)parent;
    gchar *type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(part));
    if ((*(int *)printed)++)
        putchar(',');
    print_string(type);
    g_free(type);
}

static void print_parts(GMimeMessage *message)
{
    int printed = 0;
    putchar('[');
    g_mime_message_foreach(message, print_part_type, &printed);
    putchar(']');
}

static int read_file(const char *path, GMimeFormat format)
{
    FILE *file = fopen(path, "rb");
    if (!file) {
        perror(path);
        return 1;
    }
    GMimeStream *stream = g_mime_stream_file_new(file);
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    g_mime_parser_set_format(parser, format);
    GMimeParserOptions *options = g_mime_parser_options_new();
    g_mime_parser_options_set_warning_callback(options, note_defect, NULL);
    int status = 0;
    while (!g_mime_parser_eos(parser)) {
        g_string_truncate(defects, 0);
        GMimeMessage *message = g_mime_parser_construct_message(parser, options);
        if (!message) {
            if (format == GMIME_FORMAT_MESSAGE) {
                fprintf(stderr, "%s: no message\n", path);
                status = 1;
            }
            break;
        }
        printf("{\"file\":");
        print_string(path);
        printf(",\"headers\":");
        print_headers(GMIME_OBJECT(message));
        printf(",\"subject\":");
        print_string(g_mime_message_get_subject(message));
        printf(",\"messageId\":");
        print_string(g_mime_message_get_message_id(message));
        printf(",\"from\":");
        print_addresses(g_mime_message_get_from(message));
        printf(",\"to\":");
        print_addresses(g_mime_message_get_to(message));
        printf(",\"cc\":");
        print_addresses(g_mime_message_get_cc(message));
        printf(",\"bcc\":");
        print_addresses(g_mime_message_get_bcc(message));
        printf(",\"attachments\":");
        print_attachments(message);
        printf(",\"parts\":");
        print_parts(message);
        printf(",\"defects\":[%s]}\n", defects->str);
        g_object_unref(message);
        if (format == GMIME_FORMAT_MESSAGE)
            break;
    }
    g_mime_parser_options_free(options);
    g_object_unref(parser);
    g_object_unref(stream);
    return status;
}

int main(int argc, char **argv)
{
    g_mime_init();
    defects = g_string_new(NULL);
    int status = 0;
    GMimeFormat format = GMIME_FORMAT_MBOX;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--eml") == 0)
            format = GMIME_FORMAT_MESSAGE;
        else
            status |= read_file(argv[i], format);
    }
    g_string_free(defects, TRUE);
    g_mime_shutdown();
    return status;
}
