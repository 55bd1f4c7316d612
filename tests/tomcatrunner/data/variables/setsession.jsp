<%@ page contentType="text/html; charset=UTF-8" %>
<%
    java.util.ArrayList<String> basket = new java.util.ArrayList<>();
    basket.add("apple");
    basket.add("pear");
    session.setAttribute("basket", basket);
    session.setAttribute("owner", "Ann");
%>
<p>session=<%= session.getId() %>;</p>
