// The JDK's verdicts for the agreement check (bench/agreement/agreement.py):
// javax.xml.validation with one compiled W3C XML Schema and one Validator
// reused for every document. One line per document on standard output,
// fields separated by tabs:
//
//   path  valid|invalid  line  column  message
//
// line, column and message are the first error's (a fatal error or an
// error; warnings are not errors); 0, 0 and empty when the document is valid.
//
//   javac -d OUT JdkVerdicts.java
//   java -cp OUT JdkVerdicts SCHEMA_FILE LIST_FILE   (one document path a line)

import java.io.BufferedReader;
import java.io.File;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import javax.xml.XMLConstants;
import javax.xml.transform.stream.StreamSource;
import javax.xml.validation.Schema;
import javax.xml.validation.SchemaFactory;
import javax.xml.validation.Validator;
import org.xml.sax.ErrorHandler;
import org.xml.sax.SAXException;
import org.xml.sax.SAXParseException;

public final class JdkVerdicts {
    private JdkVerdicts() {}

    /** Keeps the first error of one document; lets validation go on after errors. */
    private static final class FirstError implements ErrorHandler {
        SAXParseException first;

        void reset() {
            first = null;
        }

        private void keep(SAXParseException e) {
            if (first == null) {
                first = e;
            }
        }

        @Override
        public void warning(SAXParseException e) {}

        @Override
        public void error(SAXParseException e) {
            keep(e);
        }

        @Override
        public void fatalError(SAXParseException e) throws SAXException {
            keep(e);
            throw e;
        }
    }

    private static void configure(Validator validator, ErrorHandler errors) throws SAXException {
        validator.setFeature(XMLConstants.FEATURE_SECURE_PROCESSING, true);
        validator.setProperty(XMLConstants.ACCESS_EXTERNAL_DTD, "");
        validator.setProperty(XMLConstants.ACCESS_EXTERNAL_SCHEMA, "file");
        validator.setErrorHandler(errors);
    }

    private static String field(String text) {
        return text == null ? "" : text.replace('\t', ' ').replace('\n', ' ').replace('\r', ' ');
    }

    public static void main(String[] args) throws Exception {
        if (args.length != 2) {
            System.err.println("usage: JdkVerdicts SCHEMA_FILE LIST_FILE");
            System.exit(2);
        }
        List<String> documents = new ArrayList<>();
        try (BufferedReader list = Files.newBufferedReader(Paths.get(args[1]), StandardCharsets.UTF_8)) {
            for (String path; (path = list.readLine()) != null; ) {
                if (!path.isEmpty()) {
                    documents.add(path);
                }
            }
        }

        SchemaFactory factory = SchemaFactory.newInstance(XMLConstants.W3C_XML_SCHEMA_NS_URI);
        factory.setFeature(XMLConstants.FEATURE_SECURE_PROCESSING, true);
        factory.setProperty(XMLConstants.ACCESS_EXTERNAL_DTD, "");
        factory.setProperty(XMLConstants.ACCESS_EXTERNAL_SCHEMA, "file");
        Schema schema = factory.newSchema(new File(args[0]));

        Validator validator = schema.newValidator();
        FirstError errors = new FirstError();

        StringBuilder out = new StringBuilder();
        for (String path : documents) {
            errors.reset();
            // reset() returns the validator to its state when new, settings included.
            validator.reset();
            configure(validator, errors);
            String other = null;
            try {
                validator.validate(new StreamSource(new File(path)));
            } catch (SAXParseException e) {
                // Already kept by the handler.
            } catch (SAXException | IOException | RuntimeException e) {
                other = e.getClass().getSimpleName() + ": " + e.getMessage();
            }
            if (errors.first != null) {
                SAXParseException e = errors.first;
                out.append(field(path)).append("\tinvalid\t").append(e.getLineNumber())
                        .append('\t').append(e.getColumnNumber()).append('\t')
                        .append(field(e.getMessage())).append('\n');
            } else if (other != null) {
                out.append(field(path)).append("\tinvalid\t0\t0\t").append(field(other)).append('\n');
            } else {
                out.append(field(path)).append("\tvalid\t0\t0\t\n");
            }
        }
        PrintStream stdout = new PrintStream(new FileOutputStream(FileDescriptor.out), true, StandardCharsets.UTF_8);
        stdout.print(out);
        stdout.flush();
    }
}
