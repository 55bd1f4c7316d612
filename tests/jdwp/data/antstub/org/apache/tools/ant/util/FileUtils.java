// Stands in for Ant's class so that Jasper's JspC loads without Ant (see ../Task.java).
package org.apache.tools.ant.util;

import java.io.File;

public class FileUtils {
    public static FileUtils getFileUtils() {
        return new FileUtils();
    }

    public File resolveFile(File base, String name) {
        File file = new File(name);
        return file.isAbsolute() || base == null ? file.getAbsoluteFile() : new File(base, name);
    }
}
