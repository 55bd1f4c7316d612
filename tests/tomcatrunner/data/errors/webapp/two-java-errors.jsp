<%@ page contentType="text/html" %>
<html>
<%
    int a = undefinedThing;
    boolean b = 1 && 2;
%>
<p><%= a %></p>
</html>
